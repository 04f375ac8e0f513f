#include "ftp/inet/mlsd.h"

#include <algorithm>
#include <charconv>

namespace inet {

namespace {

// A name and its facts take a few hundred bytes; a server that sends a line
// without end would otherwise fill the memory for as long as the listing
// may last.
constexpr size_t kLongestLine = 64 * 1024;

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
  // Only the new bytes are searched for a line end: the pending ones hold none.
  size_t from = pending_.size();
  pending_.append(bytes);
  size_t start = 0;
  for (size_t end; (end = pending_.find('\n', from)) != std::string::npos; start = from = end + 1) {
    if (!Line(std::string_view(pending_).substr(start, end - start))) return false;
  }
  pending_.erase(0, start);
  return pending_.size() <= kLongestLine;
}

bool MlsdReader::End() {
  const bool read = Line(pending_);
  pending_.clear();
  return read;
}

// One CR before the LF belongs to the line end; a name may end in another.
bool MlsdReader::Line(std::string_view line) {
  if (line.size() > kLongestLine) return false;
  if (line.ends_with('\r')) line.remove_suffix(1);
  if (line.empty()) return true;
  MlsdEntry entry;
  if (!ParseMlsdLine(line, entry)) return false;
  take_(std::move(entry));
  return true;
}

}  // namespace inet
