#include "ftp/listed_names.h"

#include "ftp/inet/find_data.h"
#include "ftp/inet/remote_path.h"

std::vector<ListedFile> ListedFiles(std::vector<inet::FindData>&& entries, bool filesOnly) {
  std::vector<ListedFile> files;
  files.reserve(entries.size());
  for (inet::FindData& entry : entries) {
    std::string_view name = inet::LeafOf(entry.cFileName);
    // "." and ".." are not files: a download would fail on them every time.
    if (name == "." || name == ".." || name.empty()) continue;
    if (filesOnly && !entry.is_file) continue;
    if (name.size() == entry.cFileName.size())
      files.push_back({std::move(entry.cFileName), entry.size, entry.is_link});
    else
      files.push_back({std::string(name), entry.size, entry.is_link});
  }
  return files;
}

std::string JoinListedNames(const std::vector<inet::FindData>& entries, bool filesOnly) {
  std::string list;
  for (const ListedFile& file : ListedFiles(std::vector<inet::FindData>(entries), filesOnly)) {
    if (!list.empty()) list += ',';
    list += file.name;
  }
  return list;
}
