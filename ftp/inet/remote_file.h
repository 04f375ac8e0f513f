// A streamed transfer on an open FTP connection. Once the server has accepted
// it, a thread of the file's own (the pump) runs libcurl on it, so that the
// network's work goes on while the caller counts its pieces. The pump moves
// the bytes, a bounded amount ahead of what the caller has counted: an
// upload's from the local file, in clear and in binary from the page cache
// to the data connection (sendfile), else read straight into libcurl's
// buffer; a download's gathered from libcurl's buffer into blocks written
// whole to the local file. An upload's bytes are copied by this process at
// most once, a download's once, and memory stays flat whatever the file
// size.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "base/yielding_wait.h"
#include "ftp/inet/connection.h"

namespace inet {

class RemoteFile : public RemoteStream {
 public:
  // How far the pump may move bytes ahead of those counted.
  static constexpr int64_t kReadAhead = 1 << 20;

  ~RemoteFile() override;
  RemoteFile(const RemoteFile&) = delete;
  RemoteFile& operator=(const RemoteFile&) = delete;

  // The pump reads no further ahead of the bytes counted by AwaitSent than
  // kReadAhead, so a change to the local file meanwhile is noticed.
  void SendFrom(int fd, int64_t length) override;
  // The bytes have gone to libcurl, or to the data connection.
  bool AwaitSent(int64_t bytes) override;
  void ReceiveInto(LocalDownload& local) override;
  bool Read(size_t size, size_t& read) override;
  int64_t Ready() const override { return moved_.load(std::memory_order_acquire); }
  bool LocalFailed() const override { return local_failed_; }
  bool Finish() override;
  const Error& error() const override { return connection_.error(); }

 private:
  friend class Connection;
  RemoteFile(Connection& connection, Access access, TransferType type);
  bool Begin();
  void StartPump();
  void Pump();
  void StopPump();
  bool Fail();

  static size_t OnUploadWanted(char* buffer, size_t size, size_t count, void* self);
  static size_t OnDownloadArrived(char* data, size_t size, size_t count, void* self);
  size_t SendFromFile(char* buffer, size_t size);
  bool LibcurlHoldsNone();
  bool SendDirect(size_t allowed);
  bool WriteArrived(const char* data, size_t size);
  bool WriteGathered();
  bool WaitForCredit(size_t& allowed);
  void CountMoved(int64_t n);
  bool AwaitMoved(int64_t bytes);
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

  // The local side, used by the pump only until it has been joined.
  int fd_ = -1;          // upload: the local file
  int64_t unsent_ = 0;   // upload: what of it is still to go
  bool direct_ = false;  // upload: the bytes go by SendFileBytes while they can
  int64_t handed_ = 0;   // upload: the bytes handed to libcurl
  std::chrono::steady_clock::time_point answered_;  // upload: libcurl's last turn
  LocalDownload* local_ = nullptr;                  // download: where the bytes go
  std::string gathered_;                            // download: received, not yet written
  bool local_failed_ = false;                       // the caller reads it after the join
  int64_t counted_ = 0;  // download: the bytes counted by Read (the caller's)

  // Shared between the caller and the pump, under mutex_.
  std::mutex mutex_;
  std::condition_variable changed_;
  // The bytes the pump has moved (gone to libcurl or the data connection,
  // or written to the local file), and how far it may move them. Each is
  // written by one side and read by the other without the lock on the way
  // of every chunk; the lock is taken only to wait and to wake.
  std::atomic<int64_t> moved_ = 0;
  std::atomic<int64_t> allowed_ = 0;
  int64_t caller_awaits_ = 0;                 // the caller waits for moved_ to reach it
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
