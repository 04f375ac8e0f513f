// Reads arbitrary bytes as an MLSD listing, whole and in two pieces cut
// where the first byte says: the cut changes nothing. A line of the input's
// first word as facts, a size and the rest as a name reads back with
// exactly that name and size.
#include "ftp/inet/mlsd.h"
#include "tests/fuzz/fuzz_check.h"

static std::string Read(std::string_view first, std::string_view second) {
  std::string read;  // each entry's name, kind and size
  inet::MlsdReader reader([&](inet::MlsdEntry&& e) {
    Require(!e.name.empty() && e.size >= -1, "a name; a size or -1");
    read += e.name + '\n' + std::to_string(static_cast<int>(e.kind)) + ' ' +
            std::to_string(e.size) + '\n';
  });
  return read + (reader.Add(first) && reader.Add(second) && reader.End() ? "read" : "unread");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input = AsText(data, size);
  const size_t cut = input.empty() ? 0 : static_cast<unsigned char>(input[0]) % (input.size() + 1);
  Require(Read(input, "") == Read(input.substr(0, cut), input.substr(cut)),
          "a cut changes nothing");
  const std::string facts = input.substr(0, input.find_first_of(" \r\n"));
  std::string name = input.substr(facts.size());
  std::erase(name, '\n');
  inet::MlsdEntry entry;
  if (!name.empty() && (facts.empty() || facts.back() == ';') &&
      inet::ParseMlsdLine(facts + "size=12345; " + name, entry))
    Require(entry.name == name && entry.size == 12345, "a valid line's name and size come back");
  return 0;
}
