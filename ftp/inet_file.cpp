#include "inet_file.h"

#include <algorithm>
#include <cstring>

#include "inet_errors.h"
#include "inet_last_error.h"

namespace inet {

namespace {
// Large enough that the per-call cost of libcurl is spread thin; small
// enough that memory does not grow with the file.
constexpr size_t kBufferSize = 256 * 1024;
}  // namespace

RemoteFile::RemoteFile(Connection& connection, Access access)
    : connection_(connection), access_(access) {
  buffer_.reserve(kBufferSize + CURL_MAX_WRITE_SIZE);
}

RemoteFile::~RemoteFile() { connection_.Stop(); }

size_t RemoteFile::OnUploadWanted(char* buffer, size_t size, size_t count, void* self) {
  auto* file = static_cast<RemoteFile*>(self);
  if (file->Buffered() == 0) {
    if (file->end_of_upload_) return 0;
    file->paused_ = true;
    return CURL_READFUNC_PAUSE;
  }
  size_t n = std::min(size * count, file->Buffered());
  std::memcpy(buffer, file->buffer_.data() + file->offset_, n);
  file->offset_ += n;
  file->moved_ += static_cast<int64_t>(n);
  return n;
}

size_t RemoteFile::OnDownloadArrived(char* data, size_t size, size_t count, void* self) {
  auto* file = static_cast<RemoteFile*>(self);
  size_t n = size * count;
  file->arrived_ = true;
  if (file->Buffered() >= kBufferSize) {
    // libcurl keeps these bytes and hands them over again after Resume.
    file->paused_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  // Drop what was read before appending: the reader takes small pieces and
  // seldom empties the buffer exactly, and keeping the bytes it took would
  // let the buffer grow with the file. Little remains at this point.
  if (file->offset_ > 0) {
    file->buffer_.erase(0, file->offset_);
    file->offset_ = 0;
  }
  file->buffer_.append(data, n);
  file->moved_ += static_cast<int64_t>(n);
  return n;
}

bool RemoteFile::Begin() {
  CURL* easy = connection_.easy_;
  if (access_ == Access::kWrite) {
    curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(easy, CURLOPT_READFUNCTION, &RemoteFile::OnUploadWanted);
    curl_easy_setopt(easy, CURLOPT_READDATA, this);
  } else {
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &RemoteFile::OnDownloadArrived);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
  }
  connection_.Start();
  // The server has accepted the transfer once libcurl asks for the first
  // bytes to send, or hands over the first bytes received.
  connection_.Drive([this] { return paused_ || arrived_; });
  // A download that failed after some bytes came was accepted all the same:
  // its failure shows where the bytes run out.
  if (connection_.done_ && connection_.result_ != CURLE_OK && !arrived_) return Fail();
  return true;
}

void RemoteFile::Resume() {
  paused_ = false;
  curl_easy_pause(connection_.easy_, CURLPAUSE_CONT);
}

bool RemoteFile::Fail() {
  connection_.Stop();
  return connection_.Fail(connection_.result_);
}

bool RemoteFile::Write(const char* data, size_t size) {
  if (offset_ == buffer_.size()) {
    buffer_.clear();
    offset_ = 0;
  }
  buffer_.append(data, size);
  if (Buffered() < kBufferSize) return true;
  Resume();
  connection_.Drive([this] { return paused_; });
  if (connection_.done_) {
    // The server ended the transfer before it had everything.
    if (connection_.result_ == CURLE_OK) connection_.result_ = CURLE_SEND_ERROR;
    return Fail();
  }
  return true;
}

bool RemoteFile::Read(char* data, size_t size, size_t& read) {
  read = 0;
  while (Buffered() < size && !connection_.done_) {
    Resume();
    connection_.Drive([this, size] { return paused_ || Buffered() >= size; });
  }
  if (Buffered() == 0 && connection_.done_ && connection_.result_ != CURLE_OK) return Fail();
  read = std::min(size, Buffered());
  std::memcpy(data, buffer_.data() + offset_, read);
  offset_ += read;
  return true;
}

bool RemoteFile::Finish() {
  if (access_ == Access::kWrite) end_of_upload_ = true;
  while (!connection_.done_) {
    Resume();
    connection_.Drive([this] { return paused_; });
    if (access_ == Access::kRead && Buffered() > 0) break;
  }
  bool extra_data = access_ == Access::kRead && Buffered() > 0;
  if (extra_data && connection_.result_ == CURLE_OK) connection_.result_ = CURLE_PARTIAL_FILE;
  if (!connection_.done_ || connection_.result_ != CURLE_OK) return Fail();
  connection_.Stop();
  SetLastResponse(connection_.last_reply_);
  return true;
}

}  // namespace inet
