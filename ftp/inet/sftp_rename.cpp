// Renames on an SFTP session, replacing a file in the way.
//
// OpenSSH's server speaks SFTP version 3, whose rename fails when the new
// name is taken, and libssh2 1.10 cannot ask for its posix-rename extension.
// So a file in the way is first renamed aside to a hidden name, the new one
// renamed into place, and only then the old one deleted: the old file is
// never gone before the new one stands complete under the name, and when the
// second rename fails the old file is put back.
#include <chrono>
#include <cstdio>
#include <string_view>

#include "ftp/inet/local_download.h"
#include "ftp/inet/sftp_session.h"

namespace inet {

namespace {

constexpr int kRenameFlags =
    LIBSSH2_SFTP_RENAME_OVERWRITE | LIBSSH2_SFTP_RENAME_ATOMIC | LIBSSH2_SFTP_RENAME_NATIVE;

// A hidden name beside `path`, new for each replacement, so that a copy
// left by an earlier run is never in the way; a long name is cut to fit.
std::string AsideName(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t base = slash == std::string::npos ? 0 : slash + 1;
  char stamp[32];
  std::snprintf(
      stamp, sizeof stamp, ".kestrin-old-%llx",
      static_cast<unsigned long long>(std::chrono::system_clock::now().time_since_epoch().count()));
  return path.substr(0, base) + HiddenName(std::string_view(path).substr(base), stamp);
}

}  // namespace

bool SftpSession::Rename(const std::string& from, const std::string& to) {
  if (!Usable()) return false;
  const std::optional<std::string> realFrom = Resolve(from);
  const std::optional<std::string> realTo = realFrom ? Resolve(to) : std::nullopt;
  if (!realTo) return false;
  if (RenameOnce(*realFrom, *realTo)) return true;
  // Only a plain refusal can be a file in the way; the stat tells. A
  // directory in the way stays: it is not a file to replace.
  const SftpError refusal = error_;
  SftpStat existing;
  if (refusal.code != kSftpRefused || !Stat(*realTo, existing) ||
      existing.type == SftpType::kDirectory) {
    if (!broken_) error_ = refusal;
    return false;
  }
  return ReplaceByRename(*realFrom, *realTo);
}

bool SftpSession::RenameOnce(const std::string& from, const std::string& to) {
  const int result = Request([&] {
    return libssh2_sftp_rename_ex(sftp_, from.data(), static_cast<unsigned>(from.size()), to.data(),
                                  static_cast<unsigned>(to.size()), kRenameFlags);
  });
  return result == 0 || Fail(result, "Rename of " + from + " to " + to);
}

bool SftpSession::ReplaceByRename(const std::string& from, const std::string& to) {
  const std::string aside = AsideName(to);
  if (!RenameOnce(to, aside)) return false;
  if (!RenameOnce(from, to)) {
    const SftpError failure = error_;
    if (!broken_) RenameOnce(aside, to);
    error_ = failure;
    return false;
  }
  // The rename has happened; an old copy that will not go only stays hidden.
  Delete(aside);
  if (!broken_) error_ = {};
  return true;
}

}  // namespace inet
