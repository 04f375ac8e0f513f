#include "base/text.h"

#include <algorithm>

std::string_view TrimBlanks(std::string_view text, std::string_view blanks) {
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool IsControlCharacter(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

bool HasControlCharacter(std::string_view text) {
  return std::ranges::any_of(text, IsControlCharacter);
}

std::string EscapeControlCharacters(std::string_view text) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    if (!IsControlCharacter(c)) {
      escaped += c;
    } else if (c == '\r') {
      escaped += "\\r";
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\t') {
      escaped += "\\t";
    } else {
      const auto byte = static_cast<unsigned char>(c);
      escaped += {'\\', 'x', kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
    }
  }
  return escaped;
}

uint64_t StableHash(std::string_view text) {
  uint64_t hash = 14695981039346656037ull;
  for (const unsigned char byte : text) hash = (hash ^ byte) * 1099511628211ull;
  return hash;
}
