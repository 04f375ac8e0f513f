#include "ftp/inet/remote_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "base/yielding_wait.h"
#include "ftp/inet/file_to_socket.h"

namespace inet {

namespace {
// A download's blocks: large enough that handing one over is rare next to
// the caller's pieces; small enough that memory does not grow with the file.
constexpr size_t kBlockSize = 256 * 1024;
// Blocks on their way at once: enough that neither side waits for the other
// over a moment's delay.
constexpr size_t kBlocksInFlight = 4;
// A side that found the queue full goes on once it has drained to this, and
// a side that found it empty is woken by the first block: each waits, and is
// woken, once for several blocks rather than for every one.
constexpr size_t kBlocksToResume = kBlocksInFlight / 2;
// libcurl's own buffers: its defaults (16 KiB received, 64 KiB sent at a
// time) cost a system call for every few dozen of the caller's pieces.
constexpr long kCurlBufferSize = 256 * 1024;

std::string EmptyBlock() {
  std::string block;
  block.reserve(kBlockSize + kCurlBufferSize);
  return block;
}
}  // namespace

RemoteFile::RemoteFile(Connection& connection, Access access, TransferType type)
    : connection_(connection),
      access_(access),
      type_(type),
      pump_block_(access == Access::kRead ? EmptyBlock() : std::string()) {}

RemoteFile::~RemoteFile() {
  StopPump();
  connection_.Stop();
}

// Until the pump runs, libcurl is driven only to learn that the server took
// the transfer: it asks for the first bytes to send, or hands over the first
// bytes received.
size_t RemoteFile::OnUploadWanted(char* buffer, size_t size, size_t count, void* self) {
  auto* file = static_cast<RemoteFile*>(self);
  if (!file->pumping_) {
    file->accepted_ = true;
    return CURL_READFUNC_PAUSE;
  }
  return file->connection_.Handed(file->SendFromFile(buffer, size * count));
}

size_t RemoteFile::OnDownloadArrived(char* data, size_t size, size_t count, void* self) {
  auto* file = static_cast<RemoteFile*>(self);
  // libcurl may hand over much more in the same turn; it keeps that until
  // the pump resumes the transfer.
  if (!file->pumping_ && file->accepted_) return CURL_WRITEFUNC_PAUSE;
  size_t n = size * count;
  file->pump_block_.append(data, n);
  file->accepted_ = true;
  if (file->pumping_ && file->pump_block_.size() >= kBlockSize && !file->QueueArrived()) {
    return 0;  // abandoned: libcurl ends the transfer
  }
  return n;
}

// On the pump: the next bytes of the local file, read straight into
// libcurl's buffer; 0 (the end of the file) once all of them went.
size_t RemoteFile::SendFromFile(char* buffer, size_t size) {
  if (unsent_ == 0) return 0;
  size_t allowed = 0;
  if (!WaitForCredit(allowed)) return CURL_READFUNC_ABORT;
  if (direct_) {
    if (!SendDirect(allowed)) direct_ = false;
    if (unsent_ == 0) return 0;
    if (!WaitForCredit(allowed)) return CURL_READFUNC_ABORT;
    // libcurl still gets a byte of its own after each such send: it counts
    // only what it sends itself, and its stall watch must see bytes go,
    // and once the socket is full, it waits for it to take more.
    if (direct_) size = 1;
  }
  const auto want = static_cast<size_t>(std::min<int64_t>(unsent_, std::min(size, allowed)));
  ssize_t n = 0;
  do {
    n = ::read(fd_, buffer, want);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) {
    // The local file ended before its length, or could not be read.
    local_read_failed_ = true;
    return CURL_READFUNC_ABORT;
  }
  CountSent(n);
  return static_cast<size_t>(n);
}

// On the pump, for an upload in clear and in binary: what the data
// connection takes at once of the bytes allowed, straight from the file.
// False when they cannot go that way.
bool RemoteFile::SendDirect(size_t allowed) {
  const int64_t n = SendFileBytes(connection_.upload_data_.descriptor(), fd_,
                                  static_cast<size_t>(std::min<int64_t>(unsent_, allowed)));
  if (n > 0) CountSent(n);
  return n >= 0;
}

void RemoteFile::CountSent(int64_t n) {
  unsent_ -= n;
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    sent_.store(sent_.load(std::memory_order_relaxed) + n);
    wake = caller_awaits_ != 0 && sent_.load(std::memory_order_relaxed) >= caller_awaits_;
  }
  if (wake) changed_.notify_all();
}

// On the pump: how many more bytes it may read. Once it is as far ahead of
// the caller as allowed, it waits until the caller has counted half of that
// again. False when the caller has abandoned the file.
bool RemoteFile::WaitForCredit(size_t& allowed) {
  const int64_t sent = sent_.load(std::memory_order_relaxed);
  if (allowed_.load() <= sent) {
    std::unique_lock lock(mutex_);
    pump_resumes_at_.store(sent + kReadAhead / 2);
    pump_waits_.store(true);
    changed_.wait(lock, [&] { return allowed_.load() >= pump_resumes_at_.load() || abandoned_; });
    pump_waits_.store(false);
  }
  if (abandoned_) return false;
  allowed = static_cast<size_t>(allowed_.load() - sent);
  return true;
}

// On the pump: passes a full block of received bytes to the caller, waiting
// while the caller is behind. False when the caller has abandoned the file.
bool RemoteFile::QueueArrived() {
  std::unique_lock lock(mutex_);
  if (queue_.size() >= kBlocksInFlight) {
    changed_.wait(lock, [this] { return queue_.size() <= kBlocksToResume || abandoned_; });
  }
  if (abandoned_) return false;
  queue_.push_back(std::move(pump_block_));
  pump_block_ = SpareBlock();
  WakeAfter(lock, queue_.size() == 1);
  return true;
}

// The blocks go round: one that its taker has written is filled again, so
// that no block is allocated, and no memory touched anew, after the first
// few. Both under mutex_.
void RemoteFile::Recycle(std::string& block) {
  block.clear();
  spares_.push_back(std::move(block));
}

std::string RemoteFile::SpareBlock() {
  if (spares_.empty()) return EmptyBlock();
  std::string block = std::move(spares_.back());
  spares_.pop_back();
  return block;
}

// Wakes the other side, if `wake`, after letting go of the lock: woken
// with the lock still held, it would only wait for the lock next.
void RemoteFile::WakeAfter(std::unique_lock<std::mutex>& lock, bool wake) {
  lock.unlock();
  if (wake) changed_.notify_all();
}

bool RemoteFile::Begin() {
  Connection& c = connection_;
  c.Option(CURLOPT_BUFFERSIZE, kCurlBufferSize);
  c.Option(CURLOPT_UPLOAD_BUFFERSIZE, kCurlBufferSize);
  if (access_ == Access::kWrite) {
    c.Uploading();
    c.Option(CURLOPT_READFUNCTION, &RemoteFile::OnUploadWanted);
    c.Option(CURLOPT_READDATA, this);
  } else {
    c.Option(CURLOPT_WRITEFUNCTION, &RemoteFile::OnDownloadArrived);
    c.Option(CURLOPT_WRITEDATA, this);
  }
  if (!c.Start()) return Fail();
  c.Drive([this] {
    connection_.YieldIfDue();
    return accepted_;
  });
  // A download that failed after some bytes came was accepted all the same:
  // its failure shows where the bytes run out.
  if (connection_.done_ && connection_.result_ != CURLE_OK && !accepted_) return Fail();
  // An upload's pump starts once it knows its local file.
  if (access_ == Access::kRead) StartPump();
  return true;
}

void RemoteFile::SendFrom(int fd, int64_t length) {
  fd_ = fd;
  direct_ = connection_.request_.server.tls == Tls::kNone && type_ == TransferType::kBinary &&
            connection_.upload_data_.descriptor() >= 0;
  unsent_ = length;
  allowed_.store(kReadAhead);
  StartPump();
}

void RemoteFile::StartPump() {
  if (connection_.done_) {
    // Everything arrived while the server's acceptance was awaited.
    if (!pump_block_.empty()) queue_.push_back(std::move(pump_block_));
    pump_done_ = true;
    return;
  }
  pumping_ = true;
  pump_ = std::thread(&RemoteFile::Pump, this);
}

// The pump's thread: runs the transfer to its end, or until abandoned. The
// connection is its alone meanwhile; the caller looks at it again only after
// the pump has been joined.
void RemoteFile::Pump() {
  const NoPipeSignal noPipeSignal;
  const CURLcode resumed = curl_easy_pause(connection_.easy_, CURLPAUSE_CONT);
  if (resumed != CURLE_OK) {
    connection_.done_ = true;
    connection_.result_ = resumed;
  }
  // Asked between every two turns of libcurl: read without the lock, which
  // the caller takes to take a block or to wait.
  connection_.Drive([this] { return abandoned_.load(std::memory_order_relaxed); });
  std::lock_guard lock(mutex_);
  if (access_ == Access::kRead && !pump_block_.empty()) queue_.push_back(std::move(pump_block_));
  pump_done_ = true;
  changed_.notify_all();
}

void RemoteFile::StopPump() {
  if (!pump_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    abandoned_ = true;
  }
  changed_.notify_all();
  // A failed wake-up is let go on purpose: the pump still sees abandoned_
  // after its next poll, at most kLongestWaitMs later.
  static_cast<void>(curl_multi_wakeup(connection_.multi_));
  pump_.join();
}

bool RemoteFile::Fail() {
  StopPump();
  connection_.Stop();
  return connection_.Fail(connection_.result_);
}

// Counting the bytes also lets the pump read on: up to kReadAhead beyond
// them. Each step is a few atomic operations unless one side waits.
bool RemoteFile::AwaitSent(int64_t bytes) {
  const int64_t allowed = bytes + kReadAhead;
  allowed_.store(allowed);
  if (pump_waits_.load() && allowed >= pump_resumes_at_.load()) WakePump();
  if (sent_.load(std::memory_order_acquire) >= bytes) return true;
  std::unique_lock lock(mutex_);
  caller_awaits_ = bytes;
  AwaitPump(lock, [&] { return sent_.load() >= bytes || pump_done_; });
  caller_awaits_ = 0;
  if (sent_.load() >= bytes) return true;
  // The transfer ended first: the server stopped it, or the local file ran
  // short, which the caller reports as its own.
  lock.unlock();
  StopPump();
  if (local_read_failed_) return false;
  if (connection_.result_ == CURLE_OK) connection_.result_ = CURLE_SEND_ERROR;
  return Fail();
}

void RemoteFile::WakePump() {
  {
    std::lock_guard lock(mutex_);
    if (!pump_waits_.load()) return;
    pump_waits_.store(false);
  }
  changed_.notify_all();
}

// Makes the next received block the caller's. False at the end of the
// data; the pump has then been joined.
bool RemoteFile::TakeOver() {
  std::unique_lock lock(mutex_);
  AwaitPump(lock, [this] { return !queue_.empty() || pump_done_; });
  if (queue_.empty()) {
    lock.unlock();
    StopPump();
    return false;
  }
  block_ = std::move(queue_.front());
  queue_.pop_front();
  offset_ = 0;
  WakeAfter(lock, queue_.size() == kBlocksToResume);
  return true;
}

// A block counted to its end is set aside for TakeRead at once, so that the
// last one is there as soon as the last piece was counted.
bool RemoteFile::Read(size_t size, size_t& read) {
  read = 0;
  while (read < size) {
    if (offset_ == block_.size() && !TakeOver()) break;
    size_t n = std::min(size - read, block_.size() - offset_);
    offset_ += n;
    read += n;
    if (offset_ == block_.size()) {
      read_.push_back(std::exchange(block_, std::string()));
      offset_ = 0;
    }
  }
  if (read == 0 && size > 0 && connection_.result_ != CURLE_OK) return Fail();
  return true;
}

bool RemoteFile::TakeRead(std::string& block) {
  if (read_.empty()) return false;
  // Only a block with room for a whole one is worth filling again.
  if (block.capacity() >= kBlockSize) {
    std::lock_guard lock(mutex_);
    Recycle(block);
  }
  block = std::move(read_.front());
  read_.pop_front();
  return true;
}

bool RemoteFile::Finish() {
  if (access_ == Access::kWrite) {
    // The pump ends the upload itself once it has sent the whole file.
    std::unique_lock lock(mutex_);
    AwaitPump(lock, [this] { return pump_done_ || !pump_.joinable(); });
  } else {
    std::unique_lock lock(mutex_);
    AwaitPump(lock, [this] { return !queue_.empty() || pump_done_; });
    if (offset_ < block_.size() || !queue_.empty()) {
      // More arrived than was read.
      lock.unlock();
      StopPump();
      if (connection_.result_ == CURLE_OK) connection_.result_ = CURLE_PARTIAL_FILE;
      return Fail();
    }
  }
  StopPump();
  if (!connection_.done_ || connection_.result_ != CURLE_OK) return Fail();
  connection_.Stop();
  return true;
}

}  // namespace inet
