// What the fuzz targets share: a property check that stops the run, so that
// libFuzzer keeps the input that broke it, and the input as text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// abort() rather than an exception: libFuzzer reports it as a crash and
// writes the offending input next to the build.
inline void Require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property violated: %s\n", property);
  std::abort();
}

inline std::string AsText(const uint8_t* data, size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

inline bool IsSuffixOf(const std::string& tail, const std::string& whole) {
  return tail.size() <= whole.size() &&
         whole.compare(whole.size() - tail.size(), tail.size(), tail) == 0;
}
