// One transfer line: decode it, list the files it names, move each.
#include "frm_update.h"

#include "local_files.h"
#include "rwini1.h"
#include "transfer_line_syntax.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace {

// The list runs while it sorts after a single space, which in effect is
// while it is not empty.
bool MoreToDo(const std::string& list) { return list > " "; }

}  // namespace

void FrmUpdate::ftpprenos(std::string& ukaz) {
  const TransferLine line = DecodeTransferLine(ukaz);
  Text1->setText(QString::fromStdString(line.file));
  // Set for every line, so a line without DEL clears what the one before set.
  Chkbrisi->setChecked(line.deleteSources);

  if (line.download) {
    // Only files: a directory that matches cannot be downloaded.
    const std::string pattern = textDIR->text().toStdString() + Text1->text().toStdString();
    Tdir->setPlainText(QString::fromStdString(mFTP->GetFTPFileNames(pattern)));
    std::string list = Tdir->toPlainText().toStdString();
    while (MoreToDo(list)) {
      Textimedat->setText(QString::fromStdString(TakeField(list)));
      download();
      Tdir->setPlainText(QString::fromStdString(list));
      Yield();
    }
  } else {
    // The whole list is made before the first upload, so files that the
    // uploads delete, or that appear meanwhile, do not change it.
    const std::string pattern = textLDIR->text().toStdString() + Text1->text().toStdString();
    std::string list = LocalFileList(pattern);
    Tdir->setPlainText(QString::fromStdString(list));
    Yield();
    while (MoreToDo(list)) {
      Textimedat->setText(QString::fromStdString(TakeField(list)));
      upload();
      Tdir->setPlainText(QString::fromStdString(list));
      Yield();
    }
  }
}
