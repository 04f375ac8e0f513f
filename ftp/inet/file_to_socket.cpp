#include "ftp/inet/file_to_socket.h"

#include <pthread.h>
#include <sys/sendfile.h>

#include <cerrno>
#include <ctime>

namespace inet {

int64_t SendFileBytes(int socket, int file, size_t length) {
  for (;;) {
    const ssize_t sent = ::sendfile(socket, file, nullptr, length);
    if (sent > 0) return sent;
    if (sent < 0 && errno == EINTR) continue;
    // The socket is full; libcurl, handed the next bytes, waits for it.
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
    return -1;
  }
}

namespace {
sigset_t PipeSignal() {
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  return pipe;
}
}  // namespace

NoPipeSignal::NoPipeSignal() {
  const sigset_t pipe = PipeSignal();
  pthread_sigmask(SIG_BLOCK, &pipe, &before_);
}

NoPipeSignal::~NoPipeSignal() {
  const sigset_t pipe = PipeSignal();
  // One that was blocked before is the thread's own business.
  const timespec now{};
  if (!sigismember(&before_, SIGPIPE)) {
    while (sigtimedwait(&pipe, nullptr, &now) == SIGPIPE) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &before_, nullptr);
}

}  // namespace inet
