#include "ftp/inet/remote_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "base/yielding_wait.h"
#include "ftp/inet/curl_workarounds.h"
#include "ftp/inet/file_to_socket.h"
#include "ftp/inet/local_download.h"

namespace inet {

namespace {
// libcurl's own buffers: its defaults (16 KiB received, 64 KiB sent at a
// time) cost a system call for every few dozen of the caller's pieces.
constexpr long kCurlBufferSize = 256 * 1024;
// An upload's bytes go past libcurl only while libcurl sent what it was
// handed last within this: it counts only its own bytes and waits behind
// the others for its next turn, and its stall watch must not wait long.
constexpr std::chrono::milliseconds kQuickTurn{100};
// A caller that has counted all the bytes moved waits for this many more
// (however small the pump's steps, a few KiB on a slow link) or for its
// next look at the window, whichever comes first.
constexpr int64_t kWakeBatch = 256 * 1024;
}  // namespace

RemoteFile::RemoteFile(Connection& connection, Access access, TransferType type)
    : connection_(connection), access_(access), type_(type) {}

RemoteFile::~RemoteFile() {
  StopPump();
  connection_.Stop();
}

// Until the pump runs, libcurl is driven only to learn that the server took
// the transfer: it asks for the first bytes to send, or hands over the first
// bytes received, which it keeps until the pump resumes the transfer.
size_t RemoteFile::OnUploadWanted(char* buffer, size_t size, size_t count, void* self) {
  auto* file = static_cast<RemoteFile*>(self);
  if (!file->pumping_) {
    file->accepted_ = true;
    return CURL_READFUNC_PAUSE;
  }
  const size_t answer = file->SendFromFile(buffer, size * count);
  file->answered_ = std::chrono::steady_clock::now();
  return file->connection_.Handed(answer);
}

size_t RemoteFile::OnDownloadArrived(char* data, size_t size, size_t count, void* self) {
  auto* file = static_cast<RemoteFile*>(self);
  if (!file->pumping_) {
    file->accepted_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  // 0 ends the transfer: the caller abandoned it, or the file failed.
  return file->WriteArrived(data, size * count) ? size * count : 0;
}

// On the pump: the next bytes of the local file, sent straight from it
// while they can be (SendDirect), else read into libcurl's buffer; 0 (the
// end of the file) once all of them went.
size_t RemoteFile::SendFromFile(char* buffer, size_t size) {
  const bool quick = std::chrono::steady_clock::now() - answered_ < kQuickTurn;
  if (unsent_ == 0) return 0;
  size_t allowed = 0;
  if (!WaitForCredit(allowed)) return CURL_READFUNC_ABORT;
  if (direct_ && quick && LibcurlHoldsNone()) {
    if (!SendDirect(allowed)) direct_ = false;
    if (unsent_ == 0) return 0;
    if (!WaitForCredit(allowed)) return CURL_READFUNC_ABORT;
    // libcurl still gets a few bytes of its own after each such send: its
    // stall watch must see bytes go, and once the socket is full, libcurl
    // waits for it to take more.
    if (direct_) size = std::min(size, kStallWatchBytes);
  }
  const auto want = static_cast<size_t>(std::min<int64_t>(unsent_, std::min(size, allowed)));
  ssize_t n = 0;
  do {
    n = ::read(fd_, buffer, want);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) {
    // The local file ended before its length, or could not be read.
    local_failed_ = true;
    return CURL_READFUNC_ABORT;
  }
  unsent_ -= n;
  handed_ += n;
  CountMoved(n);
  return static_cast<size_t>(n);
}

// On the pump: bytes sent past libcurl now would overtake any it still
// holds. Where the network is what the upload waits for (libcurl's last
// turn was not quick), libcurl moves the bytes and counts each as it goes,
// which its stall watch needs, and the copy costs nothing that the wait
// would not.
bool RemoteFile::LibcurlHoldsNone() {
  curl_off_t sent = 0;
  return curl_easy_getinfo(connection_.easy_, CURLINFO_SIZE_UPLOAD_T, &sent) == CURLE_OK &&
         sent == handed_;
}

// On the pump, for an upload in clear and in binary: what the data
// connection takes at once of the bytes allowed, straight from the file.
// False when they cannot go that way.
bool RemoteFile::SendDirect(size_t allowed) {
  const int64_t n = SendFileBytes(connection_.upload_data_.descriptor(), fd_,
                                  static_cast<size_t>(std::min<int64_t>(unsent_, allowed)));
  if (n > 0) {
    unsent_ -= n;
    CountMoved(n);
  }
  return n >= 0;
}

// On the pump: received bytes are gathered into one block on their way to
// the local file, no further ahead of the caller's count than kReadAhead and
// a block. libcurl hands a download over 16 KiB at a time, and a write of
// 16 KiB costs the file system more than copying it into the block does.
// False when the caller has abandoned the file or the file cannot take them.
bool RemoteFile::WriteArrived(const char* data, size_t size) {
  size_t allowed = 0;
  if (!WaitForCredit(allowed)) return false;
  gathered_.append(data, size);
  return gathered_.size() < LocalDownload::kBlockSize || WriteGathered();
}

// On the pump: the block goes to the file whole, and only then are its bytes
// counted. It goes when full, and at the end of each of libcurl's turns, so
// that a slow transfer's bytes are counted as they come.
bool RemoteFile::WriteGathered() {
  if (gathered_.empty()) return true;
  if (!local_->WriteNow(gathered_.data(), gathered_.size())) {
    local_failed_ = true;
    return false;
  }
  CountMoved(static_cast<int64_t>(gathered_.size()));
  gathered_.clear();
  return true;
}

// On the pump: how many more bytes it may move. Once it is as far ahead of
// the caller as allowed, it waits until the caller has counted half of that
// again. False when the caller has abandoned the file.
bool RemoteFile::WaitForCredit(size_t& allowed) {
  const int64_t moved = moved_.load(std::memory_order_relaxed);
  if (allowed_.load() <= moved) {
    std::unique_lock lock(mutex_);
    pump_resumes_at_.store(moved + kReadAhead / 2);
    pump_waits_.store(true);
    changed_.wait(lock, [&] { return allowed_.load() >= pump_resumes_at_.load() || abandoned_; });
    pump_waits_.store(false);
  }
  if (abandoned_) return false;
  allowed = static_cast<size_t>(allowed_.load() - moved);
  return true;
}

// On the pump: `n` more bytes have moved; wakes the caller if it waits for them.
void RemoteFile::CountMoved(int64_t n) {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    moved_.store(moved_.load(std::memory_order_relaxed) + n);
    wake = caller_awaits_ != 0 && moved_.load(std::memory_order_relaxed) >= caller_awaits_;
  }
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
  // A download that failed after its first bytes came was accepted all the
  // same: its failure shows where the bytes run out.
  if (connection_.done_ && connection_.result_ != CURLE_OK && !accepted_) return Fail();
  return true;
}

// The pump starts once it knows its local file.
void RemoteFile::SendFrom(int fd, int64_t length) {
  fd_ = fd;
  unsent_ = length;
  direct_ = connection_.request_.server.tls == Tls::kNone && type_ == TransferType::kBinary &&
            connection_.upload_data_.descriptor() >= 0;
  StartPump();
}

void RemoteFile::ReceiveInto(LocalDownload& local) {
  local_ = &local;
  gathered_.reserve(LocalDownload::kBlockSize);
  StartPump();
}

void RemoteFile::StartPump() {
  allowed_.store(kReadAhead);
  if (connection_.done_) {
    // An empty file's transfer ends before a byte is asked for or handed over.
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
  // the caller takes to wait. A local file that fails ends the transfer.
  connection_.Drive([this] {
    return abandoned_.load(std::memory_order_relaxed) || (local_ && !WriteGathered());
  });
  // The last turn ended the transfer with the last bytes still gathered.
  if (local_ && !local_failed_ && !abandoned_.load(std::memory_order_relaxed)) WriteGathered();
  std::lock_guard lock(mutex_);
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

// Counting the bytes also lets the pump move on: up to kReadAhead beyond
// them. Each step is a few atomic operations unless one side waits. True
// once the pump has moved `bytes`; false when the transfer ended first.
bool RemoteFile::AwaitMoved(int64_t bytes) {
  const int64_t allowed = bytes + kReadAhead;
  allowed_.store(allowed);
  if (pump_waits_.load() && allowed >= pump_resumes_at_.load()) WakePump();
  if (moved_.load(std::memory_order_acquire) >= bytes) return true;
  std::unique_lock lock(mutex_);
  // The pump wakes it only once a batch more has moved, however small the
  // pump's steps: a slower trickle is seen at its next look.
  caller_awaits_ = bytes + kWakeBatch;
  AwaitPump(lock, [&] { return moved_.load() >= bytes || pump_done_; });
  caller_awaits_ = 0;
  return moved_.load() >= bytes;
}

bool RemoteFile::AwaitSent(int64_t bytes) {
  if (AwaitMoved(bytes)) return true;
  // The transfer ended first: the server stopped it, or the local file ran
  // short, which the caller reports as its own.
  StopPump();
  if (local_failed_) return false;
  if (connection_.result_ == CURLE_OK) connection_.result_ = CURLE_SEND_ERROR;
  return Fail();
}

bool RemoteFile::Read(size_t size, size_t& read) {
  const int64_t wanted = counted_ + static_cast<int64_t>(size);
  const bool whole = AwaitMoved(wanted);
  // Short of it, the pump has ended and moved_ stays as it is.
  read = static_cast<size_t>((whole ? wanted : moved_.load()) - counted_);
  counted_ += static_cast<int64_t>(read);
  if (whole) return true;
  StopPump();
  if (local_failed_) return false;
  if (read == 0 && size > 0 && connection_.result_ != CURLE_OK) return Fail();
  return true;
}

void RemoteFile::WakePump() {
  {
    std::lock_guard lock(mutex_);
    if (!pump_waits_.load()) return;
    pump_waits_.store(false);
  }
  changed_.notify_all();
}

bool RemoteFile::Finish() {
  const bool download = access_ == Access::kRead;
  std::unique_lock lock(mutex_);
  // The pump ends an upload itself once it has sent the whole file; a
  // download fails as soon as more arrived than was read.
  AwaitPump(lock,
            [&] { return pump_done_ || !pump_.joinable() || (download && moved_ > counted_); });
  const bool more = download && moved_ > counted_;
  lock.unlock();
  StopPump();
  // Bytes beyond those counted (a file that grew after its size was taken)
  // may have failed their write in the pump's last turn.
  if (local_failed_) return false;
  if (more && connection_.result_ == CURLE_OK) connection_.result_ = CURLE_PARTIAL_FILE;
  if (more || !connection_.done_ || connection_.result_ != CURLE_OK) return Fail();
  connection_.Stop();
  return true;
}

}  // namespace inet
