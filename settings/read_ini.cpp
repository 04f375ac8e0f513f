#include <cstddef>
#include <fstream>
#include <iterator>

#include "ini_lookup.h"
#include "rwini1.h"
#include "text_encoding.h"

namespace {

// The longest value the job ever gets; longer values are cut to this many
// characters, as the settings files have always been read.
constexpr std::size_t kMaxValueChars = 254;

// The whole file, or "" when it cannot be opened or read.
std::string ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace

// The file is read on every call: it is small, read a few dozen times per
// run, and a stale copy must never be used.
std::string ReadINI(const std::string& sSection, const std::string& sKey,
                    const std::string& sIniFile) {
  const std::string text = DecodeSettingsText(ReadBytes(sIniFile));
  return std::string(FirstCharacters(FindIniValue(text, sSection, sKey), kMaxValueChars));
}
