// Turns arbitrary names into a remote listing and takes the files a
// download line works through from it. Each file's name becomes a path under
// the job's local directory, so it must never hold a "/" nor name the
// directory itself or its parent; every other name comes back as the exact
// bytes the server sent, in the server's order, with its size and kind.
#include <vector>

#include "ftp/inet/remote_path.h"
#include "ftp/listed_names.h"
#include "ftp/wildcard.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// Splits at "\n" (listings carry no line breaks in names); the first byte
// sets which entries are files, which are links and whether only files are
// listed.
std::vector<inet::FindData> Entries(const std::string& input, bool& filesOnly) {
  const unsigned flags = input.empty() ? 0 : static_cast<unsigned char>(input.front());
  filesOnly = flags & 1;
  std::vector<inet::FindData> entries;
  size_t start = input.empty() ? 0 : 1;
  for (size_t i = 0; start <= input.size(); ++i) {
    size_t end = input.find('\n', start);
    if (end == std::string::npos) end = input.size();
    const bool file = ((flags >> (1 + i % 7)) & 1) != 0;
    entries.push_back(
        {input.substr(start, end - start), static_cast<int64_t>(i), file, file && i % 3 == 0});
    start = end + 1;
  }
  return entries;
}

bool IsDirectoryName(const std::string& name) {
  return name.empty() || name == "." || name == "..";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  bool filesOnly = false;
  std::vector<inet::FindData> entries = Entries(AsText(data, size), filesOnly);

  std::vector<ListedFile> expected;  // the entries a download may fetch, as they came
  for (const inet::FindData& entry : entries) {
    const std::string leaf(inet::LeafOf(entry.cFileName));
    if (IsDirectoryName(leaf) || (filesOnly && !entry.is_file)) continue;
    expected.push_back({leaf, entry.size, entry.is_link});
  }
  std::string joined;
  for (const ListedFile& file : expected) joined += (joined.empty() ? "" : ",") + file.name;
  Require(JoinListedNames(entries, filesOnly) == joined, "the comma list joins the same names");

  const std::vector<ListedFile> files = ListedFiles(std::move(entries), filesOnly);
  Require(files.size() == expected.size(), "every file entry is listed once");
  for (size_t i = 0; i < files.size(); ++i) {
    const ListedFile& file = files[i];
    Require(file.name.find('/') == std::string::npos, "a listed name never holds a \"/\"");
    Require(!IsDirectoryName(file.name), "no listed name is the directory or its parent");
    Require(file.name == expected[i].name && file.size == expected[i].size &&
                file.is_link == expected[i].is_link,
            "names, sizes and kinds come back exactly, in order");
    Require(WildcardMatch("*", file.name) && WildcardMatch("*.*", file.name),
            "\"*\" and \"*.*\" match every name");
    if (file.name.find_first_of("*?") == std::string::npos) {
      Require(WildcardMatch(file.name, file.name), "a name without wildcards matches itself");
    }
  }
  return 0;
}
