// Directory listings of an SFTP session: names as the server sends them,
// with the attributes that come with each, and links followed.
#include <utility>

#include "ftp/inet/sftp_session.h"

namespace inet {

namespace {

// Room for the longest name a listing takes; a longer one fails the listing
// rather than arriving cut.
constexpr size_t kNameBuffer = 4096;

std::string Child(const std::string& directory, const std::string& name) {
  if (!directory.empty() && directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

}  // namespace

// A listing trickled in an entry at a time, each within the reply timeout,
// would otherwise never end: all its requests share one time limit.
bool SftpSession::List(const std::string& directory, std::vector<SftpEntry>& entries) {
  until_ = Clock::now() + std::chrono::seconds(request_.timeouts.listing);
  const bool listed = ListWithinLimit(directory, entries);
  until_ = Clock::time_point::max();
  return listed;
}

bool SftpSession::ListWithinLimit(const std::string& directory, std::vector<SftpEntry>& entries) {
  const std::optional<std::string> real = Usable() ? Resolve(directory) : std::nullopt;
  if (!real) return false;
  LIBSSH2_SFTP_HANDLE* handle = Request([&] {
    return libssh2_sftp_open_ex(sftp_, real->data(), static_cast<unsigned>(real->size()), 0, 0,
                                LIBSSH2_SFTP_OPENDIR);
  });
  if (!handle) return FailHandle("Listing of " + directory);
  entries.clear();
  const bool read = ReadEntries(handle, *real, entries);
  CloseHandle(handle);
  return read;
}

bool SftpSession::ReadEntries(LIBSSH2_SFTP_HANDLE* handle, const std::string& directory,
                              std::vector<SftpEntry>& entries) {
  char name[kNameBuffer];
  for (;;) {
    // Entries that libssh2 already holds come without a wait, where the
    // listing's time would not be looked at.
    if (Clock::now() >= until_) {
      error_ = SftpPump::NoAnswer("Listing of " + directory);
      return false;
    }
    LIBSSH2_SFTP_ATTRIBUTES attributes{};
    const int length = Request([&] {
      return libssh2_sftp_readdir_ex(handle, name, sizeof name, nullptr, 0, &attributes);
    });
    if (length == 0) return true;
    if (length < 0) return Fail(length, "Listing of " + directory);
    SftpEntry entry;
    entry.name.assign(name, static_cast<size_t>(length));
    if (entry.name == "." || entry.name == "..") continue;
    static_cast<SftpStat&>(entry) = StatOf(attributes);
    entry.link = (attributes.flags & LIBSSH2_SFTP_ATTR_PERMISSIONS) &&
                 LIBSSH2_SFTP_S_ISLNK(attributes.permissions);
    if (entries.size() == kMostListedEntries) {
      error_ = {kSftpRefused, "Listing of " + directory + ": more than " +
                                  std::to_string(kMostListedEntries) + " entries."};
      return false;
    }
    if (entry.link && !FollowLink(Child(directory, entry.name), entry)) return false;
    entries.push_back(std::move(entry));
  }
}

// A link whose target the server will not stat (missing, out of the
// user's reach) stays in the listing as neither file nor directory, so that
// one such link does not keep every other file of the directory from
// moving; only a session that is gone fails the listing.
bool SftpSession::FollowLink(const std::string& path, SftpEntry& entry) {
  SftpStat target;
  if (Stat(path, target)) {
    static_cast<SftpStat&>(entry) = target;
    return true;
  }
  if (broken_) return false;
  error_ = {};
  return true;
}

}  // namespace inet
