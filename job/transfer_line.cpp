// One transfer line: decode it, list the files it names, move each.
#include "job/job.h"

#include "base/text.h"
#include "job/local_files.h"
#include "job/transfer_line_syntax.h"

#include <algorithm>
#include <cstdint>
#include <set>

namespace {

// The hashes of the names a list holds more than once, sorted. A server may
// list a file twice; moved and deleted the first time, the second would
// fail and end the run. Usually empty, and cheap for a million names.
std::vector<uint64_t> RepeatedHashes(const std::vector<ListedFile>& files) {
  std::vector<uint64_t> hashes;
  hashes.reserve(files.size());
  for (const ListedFile& file : files) hashes.push_back(StableHash(file.name));
  std::ranges::sort(hashes);
  std::vector<uint64_t> repeated;
  for (size_t i = 1; i < hashes.size(); ++i)
    if (hashes[i] == hashes[i - 1] && (repeated.empty() || repeated.back() != hashes[i]))
      repeated.push_back(hashes[i]);
  return repeated;
}

}  // namespace

bool Job::ftpprenos(std::string& ukaz) {
  const TransferLine line = DecodeTransferLine(ukaz);
  // Set for every line, so a line without DEL clears what the one before set.
  mDeleteSources = line.deleteSources;
  mView.ShowLine(line.file, mDeleteSources);

  // A relative remote directory means the same for the listing as for the
  // transfers, which work from "/".
  if (line.download) mFTP->SetFTPDirectory(kRootDirectory);
  // The whole list is made before the first file moves, so files that the
  // transfers delete, or that appear meanwhile, do not change it.
  std::vector<ListedFile> files;
  bool goOn = true;
  if (!ListLineFiles(line, files, goOn)) return goOn;
  mView.ShowFilesLeft(files, 0);
  mView.Yield();
  const std::vector<uint64_t> repeated = RepeatedHashes(files);
  std::set<std::string> repeatsMoved;
  for (size_t i = 0; i < files.size(); ++i) {
    const bool again = std::ranges::binary_search(repeated, StableHash(files[i].name)) &&
                       !repeatsMoved.insert(files[i].name).second;
    if (!again) {
      mFile = std::move(files[i]);
      mView.ShowFile(mFile.name);
      if (!(line.download ? download() : upload())) return false;
    }
    mView.ShowFilesLeft(files, i + 1);
    mView.Yield();
  }
  return true;
}
