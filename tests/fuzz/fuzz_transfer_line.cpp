// Decodes an arbitrary transfer line and checks the decoded parts against
// the fields the splitter gives for the same line.
#include <algorithm>
#include <cctype>

#include "job/transfer_line_syntax.h"
#include "settings/rwini1.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

bool SameIgnoringAsciiCase(const std::string& text, const std::string& word) {
  return std::equal(text.begin(), text.end(), word.begin(), word.end(), [](char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) ==
           std::toupper(static_cast<unsigned char>(b));
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string original = AsText(data, size);
  std::string ukaz = original;
  const TransferLine line = DecodeTransferLine(ukaz);

  std::string fields = original;
  const std::string file = TakeField(fields);
  const std::string direction = TakeField(fields);
  Require(line.file == file, "the file is the first field");
  Require(ukaz == fields, "the line keeps what follows the second field");
  Require(IsSuffixOf(ukaz, original), "the rest is a tail of the line");
  Require(line.download == SameIgnoringAsciiCase(direction, "DOWN"),
          "download exactly when the second field is DOWN in any case");
  Require(line.deleteSources == SameIgnoringAsciiCase(ukaz, "DEL"),
          "deletion exactly when the rest is DEL in any case");
  if (original.find_first_of(std::string(",;\"'\x01", 5)) == std::string::npos) {
    Require(line.file == original && !line.download && !line.deleteSources && ukaz.empty(),
            "a line without separators or quotes is a plain upload of that name");
  }
  return 0;
}
