// Moving an upload's bytes from the local file to its data connection inside
// the kernel (sendfile): the page cache's pages go to the socket as they
// are, where a copy through a buffer of this process would cost a read and
// a send of every byte.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>

namespace inet {

// Sends what `socket` takes at once of the next `length` bytes of `file`
// (from the file's offset, which moves on): the count sent, 0 when the
// socket takes nothing now, or -1 when the bytes cannot go this way (the
// file's system cannot, the connection failed, the file ended or failed to
// read). After -1 the caller moves the bytes its own way, which meets the
// same fault and tells it. SIGPIPE must be blocked on the calling thread
// (see NoPipeSignal): sendfile cannot be asked not to raise it.
int64_t SendFileBytes(int socket, int file, size_t length);

// While it lives, SIGPIPE is blocked on the thread that made it, so that a
// connection its peer has reset fails a send instead of ending the
// program; a SIGPIPE raised meanwhile is taken back before it goes.
class NoPipeSignal {
 public:
  NoPipeSignal();
  ~NoPipeSignal();
  NoPipeSignal(const NoPipeSignal&) = delete;
  NoPipeSignal& operator=(const NoPipeSignal&) = delete;

 private:
  sigset_t before_{};
};

}  // namespace inet
