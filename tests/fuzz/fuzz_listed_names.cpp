// Turns arbitrary names into a remote listing and takes the files a
// download line works through from it. Each file's name becomes a path under
// the job's local directory, so it must never hold a "/" nor name the
// directory itself or its parent; every other name comes back as the exact
// bytes the server sent, in the server's order, with its size and kind.
// The same bytes also lay out one entry of libcurl's LIST parser, in the
// expected way or another, from which the exact name is read back.
#include <cstring>
#include <memory>
#include <vector>

#include "ftp/inet/curl_workarounds.h"
#include "ftp/inet/find_data.h"
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

// An entry's buffer is the input and a closing NUL, in an allocation of
// exactly that size, so that a read beyond it is caught. Bytes 1 to 3 place
// the time and the name in it, or in strings of their own elsewhere, and
// tell whether the line had permissions (a Unix-style line).
void CheckListedName(const std::string& input, const std::string& pattern) {
  const size_t n = input.size() + 1;
  const auto buffer = std::make_unique<char[]>(n);
  std::memcpy(buffer.get(), input.data(), input.size());
  buffer[n - 1] = '\0';
  auto at = [&](size_t i) { return i < input.size() ? static_cast<unsigned char>(input[i]) : 0u; };
  const std::string elsewhere = "12:00";
  const bool timeInside = (at(1) & 2) == 0, nameInside = (at(1) & 4) == 0;
  const size_t time = at(2) % n, name = at(3) % n;
  curl_fileinfo info{};
  info.b_data = buffer.get();
  info.b_size = info.b_used = n;
  info.strings.perm = (at(1) & 1) ? buffer.get() : nullptr;
  info.strings.time = timeInside ? buffer.get() + time : const_cast<char*>(elsewhere.c_str());
  info.filename = nameInside ? buffer.get() + name : const_cast<char*>(input.c_str());
  const std::string bare = info.filename;

  std::string expected = bare;  // the blanks between the time's NUL and the name, in front
  const size_t timeEnd = timeInside ? std::string_view(buffer.get(), n).find('\0', time) : n;
  if (info.strings.perm && timeInside && nameInside && timeEnd < name && !bare.empty()) {
    const std::string gap(buffer.get() + timeEnd + 1, buffer.get() + name);
    if (gap.find_first_not_of(' ') == std::string::npos) expected = gap + bare;
  }
  const std::string listed = inet::ListedName(info);
  Require(listed == expected, "the exact name is the blanks before the bare name, or the bare one");
  Require(!WildcardMatch(pattern, listed) ||
              inet::MayMatchListed(pattern, info.filename, &WildcardMatch),
          "the first sift lets every name through that the exact one matches");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  bool filesOnly = false;
  const std::string input = AsText(data, size);
  std::vector<inet::FindData> entries = Entries(input, filesOnly);
  CheckListedName(input, entries.front().cFileName);

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
