// The internet layer as the client sees it: one session with a server,
// whichever protocol carries it (FTP on libcurl, SFTP on libssh2), and the
// streamed files it opens. The client picks the side when it connects and
// from then on knows only these two interfaces.
//
// Every member returns false (or nullptr) on failure; error() then tells
// why, until the next operation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ftp/inet/errors.h"
#include "ftp/inet/find_data.h"

namespace inet {

// A listing's matching entries are kept until its line's files are done:
// one that names more fails, as a server that lists without end would
// otherwise fill the memory long before the listing's time is up. A job
// moves far fewer files than this in a day. Over SFTP a directory's entries
// are all kept while it is read, and so all count.
inline constexpr size_t kMostListedEntries = 2'000'000;

enum class TransferType { kAscii, kBinary };
enum class Access { kRead, kWrite };

// What the server says of one remote file; -1 where it does not say.
struct RemoteStat {
  int64_t size = -1;
  int64_t mtime = -1;  // seconds since the epoch
};

class LocalDownload;

// A streamed transfer of one remote file.
class RemoteStream {
 public:
  virtual ~RemoteStream() = default;  // an unfinished transfer is abandoned

  // Upload: starts sending `length` bytes of `fd` from where it stands.
  virtual void SendFrom(int fd, int64_t length) = 0;
  // Upload: waits until the first `bytes` have gone on their way; they may
  // still fail on the network, which shows at a later call or at Finish.
  // False when the transfer ended before them; LocalFailed then tells
  // whether the local file ran short.
  virtual bool AwaitSent(int64_t bytes) = 0;
  // Download: starts writing the file's bytes into `local` as they come,
  // a bounded amount ahead of the bytes counted by Read.
  virtual void ReceiveInto(LocalDownload& local) = 0;
  // Download: counts up to `size` more bytes as read once they are in the
  // local file; fewer only at the end of the data, false when the transfer
  // failed, LocalFailed then telling whether the local file could not take
  // them (local.error() says why).
  virtual bool Read(size_t size, size_t& read) = 0;
  // The bytes from the file's start that the caller can count now, without
  // waiting and without a local write: an upload's gone on their way, a
  // download's at hand.
  virtual int64_t Ready() const = 0;
  // The local file could not be read (upload) or written (download).
  virtual bool LocalFailed() const = 0;
  // Ends the transfer and waits for the server's verdict: true only when the
  // server confirmed it, and for a download when nothing beyond what was
  // read arrived; LocalFailed tells whether such bytes failed their write.
  virtual bool Finish() = 0;
  // Why the transfer failed, once a member above returned false.
  virtual const Error& error() const = 0;
};

class RemoteSession {
 public:
  virtual ~RemoteSession() = default;

  virtual bool Rename(const std::string& from, const std::string& to) = 0;
  virtual bool CreateDirectory(const std::string& path) = 0;
  virtual bool RemoveDirectory(const std::string& path) = 0;
  virtual bool DeleteFile(const std::string& path) = 0;
  virtual bool SetCurrentDirectory(const std::string& path) = 0;
  virtual const std::string& CurrentDirectory() const = 0;
  // Why the last operation that failed failed, its streamed files' included.
  virtual const Error& error() const = 0;
  // The file's size and, with `withTime`, its modification time, -1 for
  // what the server does not tell.
  virtual bool Stat(const std::string& path, bool withTime, RemoteStat& stat) = 0;
  // The entries of the directory part of `pattern` whose names match its
  // last part. False with kNoMoreFiles when none match; false with another
  // code when the directory could not be listed.
  virtual bool Find(const std::string& pattern, NameMatch match,
                    std::vector<FindData>& entries) = 0;
  // Whole-file transfers in one call.
  virtual bool PutFile(const std::string& local, const std::string& remote, TransferType type) = 0;
  virtual bool GetFile(const std::string& remote, const std::string& local, TransferType type) = 0;
  // Starts a streamed transfer; the server has accepted it when this returns
  // a file. No other operation may run on the session until it is gone.
  virtual std::unique_ptr<RemoteStream> OpenFile(const std::string& remote, Access access,
                                                 TransferType type) = 0;
};

}  // namespace inet
