// A streamed transfer on an open connection: the caller pushes an upload's
// bytes or pulls a download's bytes in pieces of any size. Once the server
// has accepted the transfer, a thread of the file's own runs libcurl on it,
// so that the network's work goes on while the caller handles its pieces.
// The bytes travel between the two in blocks of fixed size, a few at a time,
// so memory stays flat whatever the file size.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

 private:
  friend class Connection;
  RemoteFile(Connection& connection, Access access);
  bool Begin();
  void StartPump();
  void Pump();
  void StopPump();
  bool HandOver();
  bool TakeOver();
  bool Fail();

  static size_t OnUploadWanted(char* buffer, size_t size, size_t count, void* self);
  static size_t OnDownloadArrived(char* data, size_t size, size_t count, void* self);
  size_t SendFromBlocks(char* buffer, size_t size);
  bool QueueArrived();
  void Recycle(std::string& block);
  std::string SpareBlock();
  void WakeAfter(std::unique_lock<std::mutex>& lock, bool wake);

  Connection& connection_;
  Access access_;

  // The caller's block: being filled (upload) or being read (download).
  std::string block_;
  size_t offset_ = 0;
  // The pump's block: being sent (upload) or being filled (download).
  std::string pump_block_;
  size_t pump_offset_ = 0;

  // Shared between the caller and the pump, under mutex_.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> queue_;  // whole blocks on their way
  std::vector<std::string> spares_;  // emptied blocks, to be filled again
  bool end_of_upload_ = false;     // the caller has handed over everything
  std::atomic<bool> abandoned_ = false;  // the caller wants no more; set under mutex_
  bool pump_done_ = false;         // the transfer has ended

  // Before the pump runs, the caller drives libcurl only until the server
  // has accepted the transfer.
  bool pumping_ = false;
  bool accepted_ = false;
  std::thread pump_;
};

}  // namespace inet
