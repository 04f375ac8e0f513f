#include "ftp/inet/sftp_stream.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "ftp/inet/local_download.h"
#include "ftp/inet/sftp_remote.h"

namespace inet {

namespace {

// Large enough that libssh2 keeps several requests in flight and the
// caller's pieces rarely wait; small enough that memory stays flat.
// libssh2 reads ahead only as far as the buffer it is given, which shrinks
// as a block fills: with 256 KiB blocks a download on loopback reached about
// 100 MB/s, with 1 MiB about 150-185, with 2 MiB no more.
constexpr size_t kBlockSize = 1024 * 1024;

// Reads up to `size` bytes, fewer only at the end of the file; -1 on failure.
ssize_t ReadFully(int fd, char* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(fd, buffer + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<ssize_t>(done);
}

}  // namespace

const Error& SftpStream::error() const { return remote_.error(); }

void SftpStream::SendFrom(int fd, int64_t length) {
  fd_ = fd;
  unsent_ = length;
}

bool SftpStream::AwaitSent(int64_t bytes) {
  while (sent_ < bytes)
    if (!SendBlock()) return false;
  return true;
}

// The local file must hold every byte it was said to hold: one that shrank
// meanwhile fails the transfer rather than arriving short.
bool SftpStream::SendBlock() {
  const size_t size = static_cast<size_t>(std::min<int64_t>(kBlockSize, unsent_));
  buffer_.resize(size);
  if (size == 0 || ReadFully(fd_, buffer_.data(), size) != static_cast<ssize_t>(size)) {
    local_failed_ = true;
    return false;
  }
  if (!file_->Write(buffer_.data(), size)) return remote_.Failed();
  sent_ += static_cast<int64_t>(size);
  unsent_ -= static_cast<int64_t>(size);
  return true;
}

bool SftpStream::Read(size_t size, size_t& read) {
  read = 0;
  while (read < size) {
    if (offset_ == block_.size() && !NextBlock()) return false;
    if (block_.empty()) break;
    const size_t take = std::min(size - read, block_.size() - offset_);
    offset_ += take;
    read += take;
  }
  read_ += static_cast<int64_t>(read);
  // A block counted whole goes at once, the file's last one too.
  return block_.empty() || offset_ < block_.size() || HandOver();
}

// A download's block but its last byte: counting that one hands the block
// over to the local file.
int64_t SftpStream::Ready() const {
  if (fd_ >= 0) return sent_;
  const auto inHand = static_cast<int64_t>(block_.size() - offset_);
  return read_ + std::max<int64_t>(inHand - 1, 0);
}

bool SftpStream::HandOver() {
  offset_ = 0;
  if (!local_->Write(block_)) {
    local_failed_ = true;
    return false;
  }
  // The file gave back an emptied block to fill again, or nothing.
  spare_ = std::exchange(block_, {});
  return true;
}

bool SftpStream::NextBlock() {
  if (!block_.empty() && !HandOver()) return false;
  if (at_end_) return true;
  block_ = std::exchange(spare_, {});
  block_.resize(kBlockSize);
  size_t filled = 0;
  while (filled < kBlockSize) {
    const int64_t got = file_->Read(block_.data() + filled, kBlockSize - filled);
    if (got < 0) {
      block_.clear();
      return remote_.Failed();
    }
    if (got == 0) {
      at_end_ = true;
      break;
    }
    filled += static_cast<size_t>(got);
  }
  block_.resize(filled);
  return true;
}

// A download is whole only when nothing follows the bytes read: a file that
// grew meanwhile is another file than the one listed.
bool SftpStream::Finish() {
  const bool download = fd_ < 0;
  if (download && offset_ < block_.size()) return remote_.FailWith({kSourceChanged, ""});
  if (download && !NextBlock()) return false;
  if (download && !block_.empty()) return remote_.FailWith({kSourceChanged, ""});
  return file_->Close() || remote_.Failed();
}

}  // namespace inet
