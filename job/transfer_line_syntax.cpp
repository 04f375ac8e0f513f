#include "job/transfer_line_syntax.h"

#include "settings/rwini1.h"

namespace {

constexpr char kDownloadWord[] = "DOWN";
constexpr char kDeleteWord[] = "DEL";

std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

}  // namespace

TransferLine DecodeTransferLine(std::string& ukaz) {
  TransferLine line;
  line.file = TakeField(ukaz);
  line.download = UpperAscii(TakeField(ukaz)) == kDownloadWord;
  line.deleteSources = UpperAscii(ukaz) == kDeleteWord;
  return line;
}
