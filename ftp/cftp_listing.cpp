// Remote listings: the names that match a pattern, and a file's size.
#include "ftp/cftp.h"

#include "ftp/inet/errors.h"
#include "ftp/inet/remote_path.h"
#include "ftp/inet/remote_session.h"
#include "ftp/listed_names.h"
#include "ftp/wildcard.h"

namespace {
const std::string kFindLabel = "FtpFindFirstFile";
}  // namespace

int32_t cFTP::FindEntries(const std::string& sFile, std::vector<inet::FindData>& entries) {
  if (!hConnection) return inet::kNotConnected;
  return hConnection->Find(sFile, &WildcardMatch, entries) ? 0 : hConnection->error().code;
}

std::string cFTP::JoinNames(const std::string& sFile, bool filesOnly) {
  std::vector<inet::FindData> entries;
  if (FindEntries(sFile, entries) != 0) return {};
  return JoinListedNames(entries, filesOnly);
}

std::string cFTP::GetFTPdir(const std::string& sFile) { return JoinNames(sFile, false); }

std::string cFTP::GetFTPFileNames(const std::string& sFile) { return JoinNames(sFile, true); }

bool cFTP::ListFTPFiles(const std::string& sFile, std::vector<ListedFile>& files) {
  std::vector<inet::FindData> entries;
  files.clear();
  const int32_t found = FindEntries(sFile, entries);
  if (found == 0) files = ListedFiles(std::move(entries), true);
  if (found == 0 || found == inet::kNoMoreFiles) return true;
  RecordLastError(kFindLabel);
  return false;
}

int32_t cFTP::GetFTPFileSize(const std::string& sFile) {
  std::vector<inet::FindData> entries;
  const int32_t found = FindEntries(sFile, entries);
  if (found == 0) return static_cast<int32_t>(static_cast<uint32_t>(entries.front().size));
  if (found == inet::kNoMoreFiles) return -1;
  RecordLastError(kFindLabel);
  return -2;
}

// The full 64-bit size for a download, or -1 with the error recorded. A name
// can hold wildcard characters itself, so an exact match wins over the
// first entry the pattern happens to find.
int64_t cFTP::RemoteSize(const std::string& sRemote) {
  std::vector<inet::FindData> entries;
  if (FindEntries(sRemote, entries) != 0) {
    RecordLastError(kFindLabel);
    return -1;
  }
  std::string_view leaf = inet::LeafOf(sRemote);
  for (const inet::FindData& entry : entries)
    if (entry.cFileName == leaf) return entry.size;
  return entries.front().size;
}

int64_t cFTP::ExpectedSize(const std::string& sRemote, const ListedFile& listed) {
  if (!listed.is_link && listed.size >= 0) return listed.size;
  // SIZE follows a link to its target and tells the size the file has now.
  inet::RemoteStat stat;
  if (hConnection && hConnection->Stat(sRemote, false, stat) && stat.size >= 0) return stat.size;
  return RemoteSize(sRemote);
}
