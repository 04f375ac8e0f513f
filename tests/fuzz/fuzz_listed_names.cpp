// Turns arbitrary names into a remote listing, joins them as the listing
// does and walks the list as the download of a transfer line does. A name
// taken off the list becomes a path under the job's local directory, so it
// must never hold a "/"; and it may only name the directory itself or its
// parent ("", ".", "..", which no download can write as a file) when the
// server sent a name that the comma list cannot carry intact.
#include <vector>

#include "fuzz_check.h"
#include "inet/remote_path.h"
#include "listed_names.h"
#include "rwini1.h"
#include "wildcard.h"

namespace {

// Splits at "\n" (listings carry no line breaks in names); the first byte
// sets which entries are files and whether only files are listed.
std::vector<inet::FindData> Entries(const std::string& input, bool& filesOnly) {
  const unsigned flags = input.empty() ? 0 : static_cast<unsigned char>(input.front());
  filesOnly = flags & 1;
  std::vector<inet::FindData> entries;
  size_t start = input.empty() ? 0 : 1;
  for (size_t i = 0; start <= input.size(); ++i) {
    size_t end = input.find('\n', start);
    if (end == std::string::npos) end = input.size();
    entries.push_back({input.substr(start, end - start), 0, ((flags >> (1 + i % 7)) & 1) != 0});
    start = end + 1;
  }
  return entries;
}

bool IsDirectoryName(const std::string& name) {
  return name.empty() || name == "." || name == "..";
}

// Names with a separator or a quote are cut or split by the list, and a
// leading space is lost after a ",". A name made only of characters above
// the blank and none of those travels intact.
bool TravelsIntact(std::string_view name) {
  for (char c : name)
    if (static_cast<unsigned char>(c) <= ' ' || c == ',' || c == ';' || c == '"' || c == '\'')
      return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  bool filesOnly = false;
  const std::vector<inet::FindData> entries = Entries(AsText(data, size), filesOnly);

  std::vector<std::string> expected;  // what an intact listing would give
  bool allIntact = true;
  for (const inet::FindData& entry : entries) {
    const std::string leaf(inet::LeafOf(entry.cFileName));
    if (IsDirectoryName(leaf) || (filesOnly && !entry.is_file)) continue;
    allIntact = allIntact && TravelsIntact(leaf);
    expected.push_back(leaf);
  }

  std::string list = JoinListedNames(entries, filesOnly);
  std::vector<std::string> walked;
  while (list > " ") {
    const std::string name = TakeField(list);
    Require(name.find('/') == std::string::npos, "a listed name never holds a \"/\"");
    Require(inet::LeafOf(name) == name, "a listed name is its own leaf");
    Require(WildcardMatch("*", name) && WildcardMatch("*.*", name),
            "\"*\" and \"*.*\" match every name");
    if (name.find_first_of("*?") == std::string::npos) {
      Require(WildcardMatch(name, name), "a name without wildcards matches itself");
    }
    walked.push_back(name);
  }
  // So with intact names no "", "." or ".." ever reaches a download.
  if (allIntact) Require(walked == expected, "intact names come back whole and in order");
  return 0;
}
