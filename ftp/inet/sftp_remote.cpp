#include "ftp/inet/sftp_remote.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>

#include "base/posix_io.h"
#include "ftp/inet/local_download.h"
#include "ftp/inet/remote_path.h"
#include "ftp/inet/sftp_stream.h"

namespace inet {

namespace {

constexpr char kKnownHosts[] = "/.ssh/known_hosts";
// A whole-file download reads as much at a time as the stream holds.
constexpr size_t kWholeFileStep = 1 << 20;

// The user's home as the user database gives it: a job run by cron or a
// service has no reliable HOME.
std::string UserKnownHostsFile() {
  const passwd* user = getpwuid(geteuid());
  return user && user->pw_dir ? std::string(user->pw_dir) + kKnownHosts : "";
}

bool FromHome(const std::string& path) { return path == "~" || path.starts_with("~/"); }

}  // namespace

std::unique_ptr<RemoteSession> OpenSftpSession(SftpRequest request, Error& error) {
  if (request.hostKey.pin.empty() && request.hostKey.knownHostsFile.empty())
    request.hostKey.knownHostsFile = UserKnownHostsFile();
  SftpError failure;
  std::unique_ptr<SftpSession> session = SftpSession::Open(request, failure);
  if (session) return std::make_unique<SftpRemote>(std::move(session));
  error = ErrorFromSftp(failure);
  return nullptr;
}

bool SftpRemote::Failed() { return FailWith(ErrorFromSftp(session_->LastError())); }

bool SftpRemote::FailWith(const Error& error) {
  error_ = error;
  return false;
}

std::string SftpRemote::Resolve(const std::string& path) const {
  if (path.starts_with('/') || FromHome(path)) return path;
  if (FromHome(cwd_)) return cwd_ + "/" + path;
  return ResolveRemotePath(cwd_, path);
}

bool SftpRemote::Rename(const std::string& from, const std::string& to) {
  return session_->Rename(Resolve(from), Resolve(to)) || Failed();
}

bool SftpRemote::CreateDirectory(const std::string& path) {
  return session_->MakeDirectory(Resolve(path)) || Failed();
}

bool SftpRemote::RemoveDirectory(const std::string& path) {
  return session_->RemoveDirectory(Resolve(path)) || Failed();
}

bool SftpRemote::DeleteFile(const std::string& path) {
  return session_->Delete(Resolve(path)) || Failed();
}

bool SftpRemote::SetCurrentDirectory(const std::string& path) {
  const std::string target = Resolve(path);
  SftpStat stat;
  if (!session_->Stat(target, stat)) return Failed();
  if (stat.type != SftpType::kDirectory)
    return FailWith({kNoSuchRemoteFile, "", target + " is not a directory."});
  cwd_ = target;
  return true;
}

bool SftpRemote::Stat(const std::string& path, bool withTime, RemoteStat& stat) {
  SftpStat held;
  if (!session_->Stat(Resolve(path), held)) return Failed();
  stat.size = held.size;
  stat.mtime = withTime ? held.mtime : -1;
  return true;
}

bool SftpRemote::Find(const std::string& pattern, NameMatch match, std::vector<FindData>& entries) {
  const std::string path = Resolve(pattern);
  const size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
  std::vector<SftpEntry> listed;
  if (!session_->List(directory, listed)) return Failed();
  entries.clear();
  for (SftpEntry& entry : listed)
    if (match(leaf, entry.name))
      entries.push_back(
          {std::move(entry.name), entry.size, entry.type == SftpType::kFile, entry.link});
  return !entries.empty() || FailWith({kNoMoreFiles, ""});
}

std::unique_ptr<RemoteStream> SftpRemote::OpenFile(const std::string& remote, Access access,
                                                   TransferType) {
  std::unique_ptr<SftpFile> file = session_->OpenFile(Resolve(remote), access);
  if (!file) {
    Failed();
    return nullptr;
  }
  return std::make_unique<SftpStream>(*this, std::move(file));
}

bool SftpRemote::PutFile(const std::string& local, const std::string& remote, TransferType type) {
  struct stat info {};
  UniqueFile source = OpenRegularFile(local, info);
  if (!source) return FailWith({ErrorFromErrno(errno), ""});
  std::unique_ptr<RemoteStream> stream = OpenFile(remote, Access::kWrite, type);
  if (!stream) return false;
  stream->SendFrom(fileno(source.get()), info.st_size);
  if (stream->AwaitSent(info.st_size)) return stream->Finish();
  return stream->LocalFailed() ? FailWith({kReadFault, ""}) : false;
}

bool SftpRemote::GetFile(const std::string& remote, const std::string& local, TransferType type) {
  LocalDownload download(local);
  if (!download.Create()) return FailWith(download.error());
  std::unique_ptr<RemoteStream> stream = OpenFile(remote, Access::kRead, type);
  if (!stream) return false;
  stream->ReceiveInto(download);
  for (size_t read = kWholeFileStep; read > 0;) {
    if (stream->Read(kWholeFileStep, read)) continue;
    return stream->LocalFailed() ? FailWith(download.error()) : false;
  }
  return stream->Finish() && (download.Commit() || FailWith(download.error()));
}

}  // namespace inet
