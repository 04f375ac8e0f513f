#include "job/transfer_log.h"

#include "base/posix_io.h"
#include "base/text.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace {

constexpr char kLogFileName[] = "KESTRIN.log";
constexpr char kFailureMark[] = "NAPAKA";
constexpr char kArrow[] = "----->";
// CR LF on every platform, so the file reads the same wherever it is opened.
constexpr char kLineEnd[] = "\r\n";

std::string PathPart(const std::string& source, const std::string& destination) {
  return source + kArrow + destination;
}

}  // namespace

std::string LogFileName() { return kLogFileName; }

std::string DateTimeText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[128];
  const size_t length = std::strftime(text, sizeof text, "%x %X", &local);
  return std::string(text, length);
}

std::string SuccessRecord(const std::string& source, const std::string& destination) {
  return DateTimeText() + " " + PathPart(source, destination);
}

std::string FailureRecord(const std::string& source, const std::string& destination,
                          const std::string& errorText) {
  return kFailureMark + DateTimeText() + " " + PathPart(source, destination) + " " + errorText;
}

std::string StartFailureRecord(const std::string& subject, const std::string& errorText) {
  return kFailureMark + DateTimeText() + " " + subject + " " + errorText;
}

std::string ConnectionFailureRecord(const std::string& server, const std::string& errorText) {
  return StartFailureRecord(server, errorText);
}

bool AppendLogRecord(const std::string& record) {
  // Opened without waiting: a FIFO in the log's place that nobody reads
  // would hold a plain open, and the whole unattended run, for ever. Once
  // open, writes wait as usual.
  const int fd = open(kLogFileName, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return false;
  if (fcntl(fd, F_SETFL, O_APPEND) != 0) {
    close(fd);
    return false;
  }
  // One write for the whole line keeps records whole should two runs share
  // a working directory.
  // A control character from a name or a reply could forge a record of
  // its own; only the line end is written raw.
  const bool written = WriteAll(fd, EscapeControlCharacters(record) + kLineEnd) == 0;
  return close(fd) == 0 && written;
}
