// A streamed transfer on an open connection: the caller pushes an upload's
// bytes or pulls a download's bytes in pieces of any size. Underneath,
// libcurl runs the transfer and is paused whenever the caller has nothing
// to give or has not taken what arrived; the data passes through one buffer
// of fixed size, so memory stays flat whatever the file size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "inet_connection.h"

namespace inet {

class RemoteFile {
 public:
  ~RemoteFile();  // an unfinished transfer is abandoned
  RemoteFile(const RemoteFile&) = delete;
  RemoteFile& operator=(const RemoteFile&) = delete;

  // Upload: takes the bytes; they may go out later, so a failure can show
  // at a later Write or at Finish.
  bool Write(const char* data, size_t size);
  // Download: fills `data` with up to `size` bytes; fewer only at the end of
  // the data, false when the transfer failed before anything was there.
  bool Read(char* data, size_t size, size_t& read);
  // Ends the transfer and waits for the server's verdict: true only when the
  // server confirmed it, and for a download when nothing beyond what was
  // read arrived.
  bool Finish();

  int64_t bytes_moved() const { return moved_; }

 private:
  friend class Connection;
  RemoteFile(Connection& connection, Access access);
  bool Begin();
  void Resume();
  size_t Buffered() const { return buffer_.size() - offset_; }
  bool Fail();

  static size_t OnUploadWanted(char* buffer, size_t size, size_t count, void* self);
  static size_t OnDownloadArrived(char* data, size_t size, size_t count, void* self);

  Connection& connection_;
  Access access_;
  std::string buffer_;
  size_t offset_ = 0;
  bool paused_ = false;
  bool end_of_upload_ = false;
  bool arrived_ = false;
  int64_t moved_ = 0;
};

}  // namespace inet
