// One transfer line: decode it, list the files it names, move each.
#include "app/frm_update.h"

#include "job/local_files.h"
#include "job/transfer_line_syntax.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <algorithm>

namespace {

// Tdir shows the user where the line stands, nothing more: laying out a
// text of every name would take minutes for a large directory, so it shows
// the next few names and how many there are in all.
constexpr size_t kShownNames = 200;
constexpr char kRootDirectory[] = "/";

// What Tdir shows of the names from `next` on: the first kShownNames
// joined by ",", then "..." and the count when there are more. Names that
// are not UTF-8 show as well as they can.
QString RemainingText(const std::vector<ListedFile>& files, size_t next) {
  const size_t end = std::min(files.size(), next + kShownNames);
  QString text;
  for (size_t i = next; i < end; ++i) {
    if (i > next) text += QLatin1Char(',');
    text += QString::fromUtf8(files[i].name);
  }
  if (end < files.size()) text += QStringLiteral(",... (%1)").arg(files.size() - next);
  return text;
}

}  // namespace

void FrmUpdate::ftpprenos(std::string& ukaz) {
  const TransferLine line = DecodeTransferLine(ukaz);
  Text1->setText(QString::fromUtf8(line.file));
  // Set for every line, so a line without DEL clears what the one before set.
  mDeleteSources = line.deleteSources;
  Chkbrisi->setChecked(mDeleteSources);

  // A relative remote directory means the same for the listing as for the
  // transfers, which work from "/".
  if (line.download) mFTP->SetFTPDirectory(kRootDirectory);
  // The whole list is made before the first file moves, so files that the
  // transfers delete, or that appear meanwhile, do not change it.
  std::vector<ListedFile> files;
  if (!ListLineFiles(line, files)) return;
  Tdir->setPlainText(RemainingText(files, 0));
  Yield();
  for (size_t i = 0; i < files.size(); ++i) {
    mFile = std::move(files[i]);
    Textimedat->setText(QString::fromUtf8(mFile.name));
    if (line.download)
      download();
    else
      upload();
    Tdir->setPlainText(RemainingText(files, i + 1));
    Yield();
  }
}
