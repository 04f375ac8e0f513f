// Reads arbitrary bytes as an MLSD listing, in two pieces cut where the
// first byte says: the cut never changes what is read. Every entry's name is
// the exact text after the first blank of its line, and an entry built from
// the input's own facts and a name comes back with that name and size.
#include <vector>

#include "fuzz_check.h"
#include "inet/mlsd.h"

namespace {

std::vector<inet::MlsdEntry> Read(std::string_view first, std::string_view second, bool& read) {
  std::vector<inet::MlsdEntry> entries;
  inet::MlsdReader reader([&](inet::MlsdEntry&& entry) { entries.push_back(std::move(entry)); });
  read = reader.Add(first) && reader.Add(second) && reader.End();
  return entries;
}

bool Same(const inet::MlsdEntry& a, const inet::MlsdEntry& b) {
  return a.name == b.name && a.kind == b.kind && a.size == b.size && a.mtime == b.mtime;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input = AsText(data, size);
  const size_t cut = input.empty() ? 0 : static_cast<unsigned char>(input[0]) % (input.size() + 1);
  bool whole = false, pieces = false;
  const auto all = Read(input, "", whole);
  const auto cutUp = Read(std::string_view(input).substr(0, cut), input.substr(cut), pieces);
  Require(whole == pieces && all.size() == cutUp.size(), "a cut changes nothing");
  for (size_t i = 0; i < all.size(); ++i) {
    Require(Same(all[i], cutUp[i]), "a cut changes no entry");
    Require(!all[i].name.empty() && all[i].name.find('\n') == std::string::npos,
            "a name is never empty and never spans lines");
    Require(all[i].mtime >= -1 && all[i].size >= -1, "times and sizes are known or -1");
  }

  // The input's first word as facts, the rest as a name.
  const std::string facts = input.substr(0, input.find_first_of(" \r\n"));
  std::string name = input.substr(facts.size());
  std::erase(name, '\n');
  if (name.empty() || !(facts.empty() || facts.back() == ';')) return 0;
  inet::MlsdEntry entry;
  if (!inet::ParseMlsdLine(facts + "size=12345; " + name, entry)) return 0;
  Require(entry.name == name && entry.size == 12345, "a valid line's name and size come back");
  return 0;
}
