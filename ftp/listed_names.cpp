#include "listed_names.h"

#include "inet/remote_path.h"

std::string JoinListedNames(const std::vector<inet::FindData>& entries, bool filesOnly) {
  std::string list;
  for (const inet::FindData& entry : entries) {
    std::string_view name = inet::LeafOf(entry.cFileName);
    // "." and ".." are not files: a download would fail on them every time.
    if (name == "." || name == ".." || name.empty()) continue;
    if (filesOnly && !entry.is_file) continue;
    if (!list.empty()) list += ',';
    list += name;
  }
  return list;
}
