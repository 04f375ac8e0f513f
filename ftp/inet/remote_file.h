// A streamed transfer on an open FTP connection. Once the server has accepted
// it, a thread of the file's own runs libcurl on it, so that the network's
// work goes on while the caller handles its pieces. A download's bytes
// travel to the caller in blocks of fixed size, a few at a time: the caller
// counts its pieces off them and takes each whole block once counted, so
// that the bytes are copied only once, from libcurl's buffer; an upload's
// thread sends the local file, a bounded amount ahead of what the caller
// has counted: in clear and in binary from the page cache to the data
// connection (sendfile), else read straight into libcurl's buffer. Memory
// stays flat whatever the file size.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/yielding_wait.h"
#include "ftp/inet/connection.h"

namespace inet {

class RemoteFile : public RemoteStream {
 public:
  // How far an upload's thread may read ahead of the bytes counted.
  static constexpr int64_t kReadAhead = 1 << 20;

  ~RemoteFile() override;
  RemoteFile(const RemoteFile&) = delete;
  RemoteFile& operator=(const RemoteFile&) = delete;

  // The thread reads no further ahead of the bytes counted by AwaitSent
  // than kReadAhead, so a change to the local file meanwhile is noticed.
  void SendFrom(int fd, int64_t length) override;
  // The bytes have gone to libcurl.
  bool AwaitSent(int64_t bytes) override;
  bool LocalReadFailed() const override { return local_read_failed_; }
  bool Read(size_t size, size_t& read) override;
  bool TakeRead(std::string& block) override;
  bool Finish() override;
  const Error& error() const override { return connection_.error(); }

 private:
  friend class Connection;
  RemoteFile(Connection& connection, Access access, TransferType type);
  bool Begin();
  void StartPump();
  void Pump();
  void StopPump();
  bool TakeOver();
  bool Fail();

  static size_t OnUploadWanted(char* buffer, size_t size, size_t count, void* self);
  static size_t OnDownloadArrived(char* data, size_t size, size_t count, void* self);
  size_t SendFromFile(char* buffer, size_t size);
  bool SendDirect(size_t allowed);
  void CountSent(int64_t n);
  bool WaitForCredit(size_t& allowed);
  bool QueueArrived();
  void Recycle(std::string& block);
  std::string SpareBlock();
  void WakeAfter(std::unique_lock<std::mutex>& lock, bool wake);
  // The caller's wait for the pump: its window is served every few
  // milliseconds meanwhile, so that a stalled transfer never freezes it.
  template <typename Ready>
  void AwaitPump(std::unique_lock<std::mutex>& lock, Ready ready) {
    while (!changed_.wait_for(lock, kYieldStep, ready)) {
      lock.unlock();
      connection_.YieldIfDue();
      lock.lock();
    }
  }
  void WakePump();

  Connection& connection_;
  Access access_;
  TransferType type_;

  // Download: the caller's block, being counted, the blocks counted whole
  // and not yet taken, and the pump's block, being filled.
  std::string block_;
  size_t offset_ = 0;
  std::deque<std::string> read_;
  std::string pump_block_;

  // Upload: the local file, read by the pump only.
  int fd_ = -1;
  int64_t unsent_ = 0;
  bool local_read_failed_ = false;  // the caller reads it after the join
  bool direct_ = false;             // the bytes go by SendFileBytes while they can

  // Shared between the caller and the pump, under mutex_.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> queue_;    // whole blocks on their way
  std::vector<std::string> spares_;  // emptied blocks, to be filled again
  // Upload: bytes gone to libcurl, and how far the pump may read. Each is
  // written by one side and read by the other without the lock on the way
  // of every chunk; the lock is taken only to wait and to wake.
  std::atomic<int64_t> sent_ = 0;
  std::atomic<int64_t> allowed_ = 0;
  int64_t caller_awaits_ = 0;                 // the caller waits for sent_ to reach it
  std::atomic<int64_t> pump_resumes_at_ = 0;  // the pump waits for allowed_ to reach it
  std::atomic<bool> pump_waits_ = false;
  std::atomic<bool> abandoned_ = false;  // the caller wants no more; set under mutex_
  bool pump_done_ = false;               // the transfer has ended

  // Before the pump runs, the caller drives libcurl only until the server
  // has accepted the transfer.
  bool pumping_ = false;
  bool accepted_ = false;
  std::thread pump_;
};

}  // namespace inet
