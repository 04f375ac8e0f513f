#include "text.h"

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
