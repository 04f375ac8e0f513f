// One transfer line: decode it, list the files it names, move each.
#include "job/job.h"

#include "job/local_files.h"
#include "job/transfer_line_syntax.h"

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
  for (size_t i = 0; i < files.size(); ++i) {
    mFile = std::move(files[i]);
    mView.ShowFile(mFile.name);
    if (!(line.download ? download() : upload())) return false;
    mView.ShowFilesLeft(files, i + 1);
    mView.Yield();
  }
  return true;
}
