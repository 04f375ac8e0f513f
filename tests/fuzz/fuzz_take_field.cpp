// Takes fields off an arbitrary line until it is used up: every call must
// consume something, leave a tail of the line it was given, and return a
// field free of the characters that only steer the splitting.
#include "settings/rwini1.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string original = AsText(data, size);
  std::string line = original;
  const bool plain = original.find_first_of(std::string(",;\"'\x01", 5)) == std::string::npos;
  size_t calls = 0;
  while (!line.empty()) {
    const std::string before = line;
    const std::string field = TakeField(line);
    ++calls;
    Require(line.size() < before.size(), "each call shortens a non-empty line");
    Require(IsSuffixOf(line, before), "the rest is a tail of the line");
    Require(line.empty() || line.front() != ' ', "the rest starts without a space");
    Require(field.size() <= before.size() - line.size(), "the field comes from the consumed part");
    Require(field.find_first_of(std::string("'\x01", 2)) == std::string::npos,
            "apostrophes and the quote stand-in never reach a field");
    if (plain) {
      Require(field == original && line.empty(),
              "a line without separators or quotes is one field");
    }
  }
  Require(calls <= original.size(), "no more calls than characters");
  std::string empty;
  Require(TakeField(empty).empty() && empty.empty(), "an empty line gives an empty field");
  return 0;
}
