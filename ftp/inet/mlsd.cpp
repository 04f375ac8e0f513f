#include "mlsd.h"

#include <algorithm>
#include <charconv>
#include <chrono>

namespace inet {

namespace {

// Fact names and the type values RFC 3659 names match in any letter case.
bool SameText(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return (x >= 'A' && x <= 'Z' ? x + ('a' - 'A') : x) ==
           (y >= 'A' && y <= 'Z' ? y + ('a' - 'A') : y);
  });
}

bool StartsWithText(std::string_view text, std::string_view start) {
  return text.size() >= start.size() && SameText(text.substr(0, start.size()), start);
}

// All of `digits` as a number that does not overflow, or -1.
int64_t Number(std::string_view digits) {
  int64_t value = -1;
  const char* end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, value);
  return error == std::errc() && stop == end && value >= 0 ? value : -1;
}

// "YYYYMMDDHHMMSS", with or without fractions of a second, in UTC; -1 for
// anything else and for times before 1970.
int64_t Time(std::string_view value) {
  constexpr size_t kDigits = 14;
  if (value.size() < kDigits || (value.size() > kDigits && value[kDigits] != '.')) return -1;
  const auto field = [&](size_t at, size_t length) { return Number(value.substr(at, length)); };
  const int64_t year = field(0, 4), month = field(4, 2), day = field(6, 2);
  const int64_t hour = field(8, 2), minute = field(10, 2), second = field(12, 2);
  const std::chrono::year_month_day date{std::chrono::year(static_cast<int>(year)),
                                         std::chrono::month(static_cast<unsigned>(month)),
                                         std::chrono::day(static_cast<unsigned>(day))};
  // A leap second (60) is allowed.
  if (std::min({year, month, day, hour, minute, second}) < 0 || !date.ok() || hour > 23 ||
      minute > 59 || second > 60)
    return -1;
  const auto days = std::chrono::sys_days(date).time_since_epoch();
  const int64_t time = std::chrono::duration_cast<std::chrono::seconds>(days).count() +
                       hour * 3600 + minute * 60 + second;
  return time < 0 ? -1 : time;
}

MlsdKind Kind(std::string_view type) {
  if (SameText(type, "file")) return MlsdKind::kFile;
  if (SameText(type, "dir")) return MlsdKind::kDirectory;
  if (SameText(type, "cdir") || SameText(type, "pdir")) return MlsdKind::kThisOrUp;
  // "OS.unix=slink:<target>" (RFC 3659's example) or "OS.unix=symlink".
  if (StartsWithText(type, "os.unix=slink") || StartsWithText(type, "os.unix=symlink"))
    return MlsdKind::kLink;
  return MlsdKind::kOther;
}

void TakeFact(std::string_view name, std::string_view value, MlsdEntry& entry) {
  if (SameText(name, "type")) entry.kind = Kind(value);
  if (SameText(name, "size")) entry.size = Number(value);
  if (SameText(name, "modify")) entry.mtime = Time(value);
}

}  // namespace

bool AnnouncesMlsd(std::string_view featureLine) {
  if (!featureLine.starts_with(' ')) return false;
  const std::string_view feature = featureLine.substr(1, featureLine.find(' ', 1) - 1);
  return SameText(feature, "MLST") || SameText(feature, "MLSD");
}

bool ParseMlsdLine(std::string_view line, MlsdEntry& entry) {
  const size_t blank = line.find(' ');
  if (blank == std::string_view::npos || blank + 1 == line.size()) return false;
  std::string_view facts = line.substr(0, blank);
  if (!facts.empty() && facts.back() != ';') return false;
  entry = MlsdEntry{std::string(line.substr(blank + 1))};
  while (!facts.empty()) {
    const size_t end = facts.find(';');
    const std::string_view fact = facts.substr(0, end);
    const size_t equals = fact.find('=');
    if (equals == 0 || equals == std::string_view::npos) return false;
    TakeFact(fact.substr(0, equals), fact.substr(equals + 1), entry);
    facts.remove_prefix(end + 1);
  }
  return true;
}

bool MlsdReader::Add(std::string_view bytes) {
  pending_.append(bytes);
  size_t start = 0;
  for (size_t end; (end = pending_.find('\n', start)) != std::string::npos; start = end + 1) {
    if (!Line(std::string_view(pending_).substr(start, end - start))) return false;
  }
  pending_.erase(0, start);
  return true;
}

bool MlsdReader::End() {
  const bool read = Line(pending_);
  pending_.clear();
  return read;
}

// One CR before the LF belongs to the line end; a name may end in another.
bool MlsdReader::Line(std::string_view line) {
  if (line.ends_with('\r')) line.remove_suffix(1);
  if (line.empty()) return true;
  MlsdEntry entry;
  if (!ParseMlsdLine(line, entry)) return false;
  take_(std::move(entry));
  return true;
}

}  // namespace inet
