// The local side of a download. The bytes go into a hidden temporary file
// beside the destination, which replaces the destination only once the
// whole file has arrived: a failed download never leaves a partial file
// under the final name and never spoils the file that was there before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ftp/inet/block_writer.h"
#include "ftp/inet/errors.h"
#include "ftp/inet/write_behind.h"

namespace inet {

// "." + name + suffix: a hidden name for a file that stands in for `name`.
// Where that would pass the 255 bytes a name may have, the name is cut and a
// checksum of the whole name follows it, so that two long names that begin
// alike still get names of their own.
std::string HiddenName(std::string_view name, std::string_view suffix);

// Removes the temporary file of a download still running, for a program
// that ends in the middle of one.
void RemoveUnfinishedDownload();

// Removes the temporary files that downloads into `directory` ("" for the
// working directory) left behind when their program was killed: only files
// marked as made by a download, never a file that merely has such a name.
// A running download holds a lock on its file, so its file is never taken.
void RemoveAbandonedDownloads(const std::string& directory);

class LocalDownload {
 public:
  // Bytes go to the file in blocks of up to this: fewer write calls, and
  // a small file in one.
  static constexpr size_t kBlockSize = 256 * 1024;

  explicit LocalDownload(std::string destination);
  ~LocalDownload();  // removes the temporary file unless committed
  LocalDownload(const LocalDownload&) = delete;
  LocalDownload& operator=(const LocalDownload&) = delete;

  // Creates the temporary file; false, with error() telling why, on failure.
  bool Create();
  bool Write(const char* data, size_t size);
  // Takes a whole block of the file's next bytes without copying it, as a
  // rule; `block` then holds an emptied block to fill again, or nothing.
  bool Write(std::string& block);
  // Writes the bytes into the file at once, on the calling thread, with no
  // copy of them kept: for a caller that writes no other way.
  bool WriteNow(const char* data, size_t size);
  // Makes the bytes durable and renames the file over the destination,
  // then makes the rename itself durable: the source may go next.
  bool Commit();

  const std::string& temporary_path() const { return temporary_; }
  // Why the last local operation failed.
  const Error& error() const { return error_; }

 private:
  bool Fail(int err);
  bool CreateLocked(const std::string& dir, const std::string& stem);
  bool WriteBlock(std::string& block);
  // Writes what is pending and waits until every byte is in the file.
  bool Flush();

  std::string destination_;
  std::string temporary_;
  std::string pending_;  // gathered so that small pieces cost no system call each
  int fd_ = -1;
  std::unique_ptr<BlockWriter> writer_;
  off_t written_ = 0;  // by WriteNow
  std::unique_ptr<WriteBehind> behind_;
  bool committed_ = false;
  Error error_;
};

}  // namespace inet
