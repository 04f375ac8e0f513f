// Reads arbitrary bytes as a settings file, the way the settings reader
// does (decode, look up, cut), without the round trip through a file.
#include <string_view>

#include "settings/ini_lookup.h"
#include "settings/text_encoding.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

constexpr size_t kMaxValueChars = 254;

struct Name {
  const char* section;
  const char* key;
};
// The names the program asks for, in the letter cases people write them.
constexpr Name kNames[] = {
    {"PROGRAM", "IZBRANO"}, {"J1", "FTPURL"}, {"J1", "geslo"}, {"j1", "GESLO"}, {" J1 ", "prenos1"},
};

bool IsValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80           ? 1
                          : (lead >> 5) == 0x6  ? 2
                          : (lead >> 4) == 0xE  ? 3
                          : (lead >> 3) == 0x1E ? 4
                                                : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += length;
  }
  return true;
}

size_t CodePoints(std::string_view text) {
  size_t count = 0;
  for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

void CheckLookup(const std::string& text, const Name& name) {
  const std::string value = FindIniValue(text, name.section, name.key);
  Require(value.find_first_of("\r\n") == std::string::npos, "a value never spans lines");
  Require(text.find(value) != std::string::npos, "a value is text of the file");
  const std::string_view cut = FirstCharacters(value, kMaxValueChars);
  Require(value.starts_with(cut), "the cut value is a prefix of the value");
  Require(CodePoints(cut) == std::min(CodePoints(value), kMaxValueChars),
          "the cut keeps 254 characters");
  Require(IsValidUtf8(cut), "the cut never splits a character");
  // The first key wins: a later repetition of the section changes nothing.
  if (!value.empty()) {
    const std::string repeated = text + "\n[" + name.section + "]\n" + name.key + "=later\n";
    Require(FindIniValue(repeated, name.section, name.key) == value, "the first value wins");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text =
      DecodeSettingsText(std::string_view(reinterpret_cast<const char*>(data), size));
  Require(IsValidUtf8(text), "the decoded text is UTF-8");
  for (const Name& name : kNames) CheckLookup(text, name);
  Require(FindIniValue(text, "J1", "geslo") == FindIniValue(text, "j1", "GESLO"),
          "names match regardless of ASCII letter case");
  return 0;
}
