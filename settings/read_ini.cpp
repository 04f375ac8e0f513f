#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "base/posix_io.h"
#include "settings/ini_lookup.h"
#include "settings/rwini1.h"
#include "settings/text_encoding.h"

namespace {

using Clock = std::chrono::system_clock;

// File time stamps are coarser than the clock (a few milliseconds; two
// seconds on some file systems): a file that changed this close to its
// reading may change again without a new stamp, so it is read again.
constexpr auto kStampGranularity = std::chrono::seconds(2);
constexpr std::size_t kReadChunk = 1 << 16;

// What tells one version of a file from another without reading it.
struct Identity {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  timespec mtime{}, ctime{};
};

bool SameStamp(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool SameVersion(const Identity& a, const Identity& b) {
  return a.dev == b.dev && a.ino == b.ino && a.size == b.size && SameStamp(a.mtime, b.mtime) &&
         SameStamp(a.ctime, b.ctime);
}

Identity IdentityOf(const struct stat& info) {
  return {info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

Clock::time_point AsTime(const timespec& stamp) {
  return Clock::time_point(std::chrono::duration_cast<Clock::duration>(
      std::chrono::seconds(stamp.tv_sec) + std::chrono::nanoseconds(stamp.tv_nsec)));
}

// The bytes of a regular file with its identity; nothing when there is no
// such file, it cannot be read or it is, or grows, larger than a settings
// file can be.
std::optional<std::string> ReadRegularFile(const std::string& path, Identity& identity) {
  struct stat info {};
  const int fd = OpenWithoutWaiting(path, info);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> bytes;
  const auto size = static_cast<std::size_t>(info.st_size);
  if (S_ISREG(info.st_mode) && size <= kMaxSettingsFileBytes) {
    identity = IdentityOf(info);
    bytes.emplace().reserve(size);
    char chunk[kReadChunk];
    ssize_t got = 0;
    while (bytes->size() <= kMaxSettingsFileBytes &&
           ((got = ::read(fd, chunk, sizeof chunk)) > 0 || (got < 0 && errno == EINTR))) {
      if (got > 0) bytes->append(chunk, static_cast<std::size_t>(got));
    }
    if (got < 0 || bytes->size() > kMaxSettingsFileBytes) bytes.reset();
  }
  ::close(fd);
  return bytes;
}

// The decoded text of the settings file last read, as it was then, with
// the sections looked up in it so far. A job asks for a few dozen values,
// and a large file read and decoded for each would take minutes.
struct LoadedFile {
  std::string path;
  Identity identity;
  bool settled = false;  // its last change lies further back than a stamp can tell
  std::string text;
  std::unordered_map<std::string, std::string_view> sections;  // by IniNameKey
};

std::mutex loaded_mutex;
LoadedFile loaded;

// The file's text as it is now: the one read before while the file is
// that same version, else read afresh. Anything but a regular file reads
// as empty.
LoadedFile& Current(const std::string& path) {
  struct stat info {};
  const bool regular = ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
  if (regular && loaded.settled && loaded.path == path &&
      SameVersion(loaded.identity, IdentityOf(info)))
    return loaded;
  const Clock::time_point readAt = Clock::now();
  const std::optional<std::string> bytes =
      regular ? ReadRegularFile(path, loaded.identity) : std::nullopt;
  loaded.path = path;
  loaded.sections.clear();
  loaded.text = DecodeSettingsText(bytes.value_or(""));
  loaded.settled = bytes && std::max(AsTime(loaded.identity.mtime), AsTime(loaded.identity.ctime)) +
                                    kStampGranularity <
                                readAt;
  return loaded;
}

std::string WholeValue(const std::string& sSection, const std::string& sKey,
                       const std::string& sIniFile) {
  const std::lock_guard<std::mutex> guard(loaded_mutex);
  LoadedFile& file = Current(sIniFile);
  const std::string name = IniNameKey(sSection);
  auto section = file.sections.find(name);
  if (section == file.sections.end())
    section = file.sections.emplace(name, FindIniSection(file.text, sSection)).first;
  return FindIniKey(section->second, sKey);
}

}  // namespace

std::string ReadINI(const std::string& sSection, const std::string& sKey,
                    const std::string& sIniFile) {
  return std::string(FirstCharacters(WholeValue(sSection, sKey, sIniFile), kMaxINIValueChars));
}

bool IsINIValueCut(const std::string& sSection, const std::string& sKey,
                   const std::string& sIniFile) {
  const std::string value = WholeValue(sSection, sKey, sIniFile);
  return FirstCharacters(value, kMaxINIValueChars).size() < value.size();
}
