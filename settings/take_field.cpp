#include "settings/rwini1.h"

#include <cstddef>

namespace {

constexpr char kFieldSeparator = ',';  // ends the field, the rest of the line stays
constexpr char kLineTerminator = ';';  // ends the field and the line
// Stands in for a double quote, which could not be written inside a field
// otherwise: both quote characters only toggle quoting and are dropped.
constexpr char kEmbeddedQuote = '\x01';

bool IsQuote(char ch) { return ch == '"' || ch == '\''; }

// Only spaces: a tab after a separator belongs to the next field.
std::string WithoutLeadingSpaces(const std::string& text, std::size_t from) {
  const std::size_t first = text.find_first_not_of(' ', from);
  return first == std::string::npos ? std::string() : text.substr(first);
}

}  // namespace

std::string TakeField(std::string& sLine) {
  std::string field;
  bool inQuotes = false;
  // size_t, not a short counter: lines of any length split without failing.
  std::size_t pos = 0;
  for (; pos < sLine.size(); ++pos) {
    const char ch = sLine[pos];
    if (!inQuotes && (ch == kFieldSeparator || ch == kLineTerminator)) break;
    if (IsQuote(ch)) {
      inQuotes = !inQuotes;
    } else {
      field += ch == kEmbeddedQuote ? '"' : ch;
    }
  }
  const bool keepsRest = pos < sLine.size() && sLine[pos] == kFieldSeparator;
  sLine = keepsRest ? WithoutLeadingSpaces(sLine, pos + 1) : std::string();
  return field;
}
