#include "present_value.h"

bool IsPresent(std::string_view text) {
  // char_traits<char> compares as unsigned char, so UTF-8 lead bytes (0x80
  // and up) sort above the space instead of below it as signed chars would.
  return text > std::string_view(" ");
}
