#include "settings/ini_lookup.h"

#include "base/text.h"

#include <algorithm>
#include <optional>

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kLineEnds = "\r\n";
constexpr char kCommentStart = ';';

// Tabs count as blanks around names and values, as in the files people write.
std::string_view TrimIni(std::string_view text) { return TrimBlanks(text, kBlanks); }

char AsciiLower(char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; }

// Only ASCII letters fold: "š" and "Š" are different names, as they are
// for the code-page reader these files were written for.
bool SameName(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, {}, AsciiLower, AsciiLower);
}

// Takes one line off the front of text. CR and LF each end a line, so CR LF,
// LF and lone CR files all read alike (CR LF just adds an empty line) and no
// value keeps a CR.
std::string_view TakeLine(std::string_view& text) {
  const std::size_t end = text.find_first_of(kLineEnds);
  const std::string_view line = text.substr(0, end);
  text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  return line;
}

// The name of a "[name]" line (already trimmed), nothing for other lines. A
// "[" without a closing "]" makes no section.
std::optional<std::string_view> SectionName(std::string_view line) {
  if (!line.starts_with('[')) return std::nullopt;
  const std::size_t close = line.rfind(']');
  if (close == std::string_view::npos) return std::nullopt;
  return TrimIni(line.substr(1, close - 1));
}

std::string_view WithoutQuotes(std::string_view value) {
  const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                      value.back() == value.front();
  return quoted ? value.substr(1, value.size() - 2) : value;
}

}  // namespace

std::string_view FindIniSection(std::string_view text, std::string_view section) {
  section = TrimIni(section);
  // No section in a file can have an empty name, so an unset job section
  // reads as empty everywhere.
  if (section.empty()) return {};
  while (!text.empty()) {
    const auto name = SectionName(TrimIni(TakeLine(text)));
    if (!name || !SameName(*name, section)) continue;
    // A later section, of any name, ends this one: a later section of the
    // same name is not read.
    std::string_view rest = text;
    std::size_t length = 0;
    while (!rest.empty() && !SectionName(TrimIni(TakeLine(rest))))
      length = text.size() - rest.size();
    return text.substr(0, length);
  }
  return {};
}

std::string FindIniKey(std::string_view sectionLines, std::string_view key) {
  key = TrimIni(key);
  if (key.empty()) return {};
  while (!sectionLines.empty()) {
    const std::string_view line = TrimIni(TakeLine(sectionLines));
    if (line.empty() || line.front() == kCommentStart) continue;
    const std::size_t equals = line.find('=');
    if (equals != std::string_view::npos && SameName(TrimIni(line.substr(0, equals)), key))
      return std::string(WithoutQuotes(TrimIni(line.substr(equals + 1))));
  }
  return {};
}

std::string FindIniValue(std::string_view text, std::string_view section, std::string_view key) {
  return FindIniKey(FindIniSection(text, section), key);
}

std::string IniNameKey(std::string_view name) {
  std::string folded(TrimIni(name));
  std::ranges::transform(folded, folded.begin(), AsciiLower);
  return folded;
}
