#include <cstddef>
#include <fstream>
#include <iterator>

#include "ini_lookup.h"
#include "rwini1.h"
#include "text_encoding.h"

namespace {

// The whole file, or "" when it cannot be opened or read.
std::string ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The file is read on every call: it is small, read a few dozen times per
// run, and a stale copy must never be used.
std::string WholeValue(const std::string& sSection, const std::string& sKey,
                       const std::string& sIniFile) {
  return FindIniValue(DecodeSettingsText(ReadBytes(sIniFile)), sSection, sKey);
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
