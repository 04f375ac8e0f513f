// Times the streamed transfers of a large file with the window attached and
// its progress display running for every chunk, a large remote listing, and
// how soon a click is handled in the middle of a transfer.
//
// Usage: kestrin_bench SERVER USER PASSWORD LOCAL_FILE REMOTE_FILE LIST_DIR [CAFILE]
// LOCAL_FILE is uploaded as REMOTE_FILE and downloaded back; LIST_DIR is a
// remote directory to list; CAFILE holds the certificate of a TLS server
// (SERVER "ftpes://..." or "ftps://..."). Prints one "name value" line per
// figure. kestrin_bench --list SERVER USER PASSWORD DIR gives the listing's
// figures alone; kestrin_bench --up|--down SERVER USER PASSWORD LOCAL REMOTE
// [CAFILE] makes one transfer with the window attached and prints nothing,
// for a run whose time and CPU time are measured from outside, as another
// client's are.

#include "app/frm_update.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <malloc.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The upload waits this long before it closes the remote file; the rate is
// that of the data, so the wait is not counted.
constexpr double kUploadPauseSeconds = 1.0;
// When the click comes, counted from the start of a transfer: well into it.
constexpr auto kClickAfter = std::chrono::milliseconds(300);
constexpr double kBytesPerMB = 1e6;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// CPU time of the calling thread: how much of a transfer the window's thread
// spent working rather than waiting for the network side.
double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// A click on a button of its own, due kClickAfter into a transfer: a timer
// set for that moment clicks the button, which records when its handler ran.
// The delay from the moment due to the handling is what a user's click waits.
class ClickProbe {
 public:
  explicit ClickProbe(QWidget* window) : mButton(new QPushButton("probe", window)) {
    QObject::connect(mButton, &QPushButton::clicked, [this] { mHandled = Clock::now(); });
  }

  // Runs `work` with the click due during it; the delay in milliseconds,
  // or -1 if the click was never handled.
  double Measure(const std::function<void()>& work) {
    mHandled = {};
    const Clock::time_point due = Clock::now() + kClickAfter;
    QTimer::singleShot(kClickAfter, Qt::PreciseTimer, mButton, &QPushButton::click);
    work();
    if (mHandled == Clock::time_point{}) return -1;
    return std::chrono::duration<double, std::milli>(mHandled - due).count();
  }

 private:
  QPushButton* mButton;
  Clock::time_point mHandled;
};

// Counts how often a widget is painted: the display's pace during a transfer.
class PaintCounter : public QObject {
 public:
  int count = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++count;
    return QObject::eventFilter(watched, event);
  }
};

void Report(const char* name, double value) { std::printf("%s %.3f\n", name, value); }

void Fail(const std::string& what, cFTP& ftp) {
  std::fprintf(stderr, "kestrin_bench: %s failed: %s\n", what.c_str(),
               ftp.GetLastErrorMessage().c_str());
  std::exit(1);
}

// Opens the connection to SERVER USER PASSWORD, the three arguments from `server`.
void Connect(cFTP& ftp, char** server, char* caFile) {
  ftp.SetModePassive();
  ftp.SetTransferBinary();
  if (caFile) ftp.SetCaFile(caFile);
  if (!ftp.OpenConnection(server[0], server[1], server[2])) Fail("connecting", ftp);
}

// Lists `dir` as a download line does: how long that takes, and how much
// heap each listed entry leaves behind once its list is gone (a fresh
// listing of the same directory each round, so a leak adds up).
void ReportListing(cFTP& ftp, const std::string& dir) {
  constexpr int kRounds = 3;
  if (!ftp.SetFTPDirectory(dir)) Fail("changing to the listed directory", ftp);
  std::vector<ListedFile> files;
  const auto start = Clock::now();
  if (!ftp.ListFTPFiles("*", files)) Fail("the listing", ftp);
  const double listSeconds = SecondsSince(start);
  const size_t entries = files.size();
  files = {};
  const size_t heapBefore = mallinfo2().uordblks;
  for (int round = 0; round < kRounds; ++round) {
    if (!ftp.ListFTPFiles("*", files)) Fail("the listing", ftp);
    files = {};
  }
  const double retained = static_cast<double>(mallinfo2().uordblks) - heapBefore;
  Report("listing_entries", static_cast<double>(entries));
  Report("listing_s", listSeconds);
  Report("listing_retained_bytes_per_entry", entries ? retained / (kRounds * entries) : 0);
}

// kestrin_bench --list SERVER USER PASSWORD DIR: the listing figures alone.
int ListOnly(char** argv) {
  cFTP ftp;
  Connect(ftp, argv + 2, nullptr);
  ReportListing(ftp, argv[5]);
  return 0;
}

// kestrin_bench --up|--down SERVER USER PASSWORD LOCAL REMOTE [CAFILE].
[[noreturn]] void OneTransfer(int argc, char** argv) {
  QApplication app(argc, argv);
  FrmUpdate window;
  cFTP ftp;
  AttachView(ftp, window);
  window.show();
  Connect(ftp, argv + 2, argc == 8 ? argv[7] : nullptr);
  std::string local = argv[5], remote = argv[6];
  const bool up = std::string(argv[1]) == "--up";
  window.mStartTime = window.mClock();
  if (!(up ? ftp.FTPUploadFile(local, remote) : ftp.FTPDownloadFile(local, remote)))
    Fail(up ? "the upload" : "the download", ftp);
  ftp.CloseConnection();
  // The program ends without tearing down Qt and its libraries, and so does
  // its stand-in here: their destructors would add some milliseconds to a
  // time that is meant to be the program's.
  std::fflush(stdout);
  std::_Exit(0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::string(argv[1]) == "--list") return ListOnly(argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const std::string mode = argc > 1 ? argv[1] : "";
  if ((argc == 7 || argc == 8) && (mode == "--up" || mode == "--down")) OneTransfer(argc, argv);
  if (argc != 7 && argc != 8) {
    std::fprintf(stderr,
                 "usage: %s SERVER USER PASSWORD LOCAL_FILE REMOTE_FILE LIST_DIR [CAFILE]\n",
                 argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  std::string local = argv[4], remote = argv[5];
  const std::string listDir = argv[6];
  const double size = static_cast<double>(std::filesystem::file_size(local));

  FrmUpdate window;
  cFTP ftp;
  AttachView(ftp, window);
  window.show();
  ClickProbe probe(&window);
  PaintCounter paints;
  window.Label7->installEventFilter(&paints);
  Connect(ftp, argv + 1, argc == 8 ? argv[7] : nullptr);

  // One transfer with the window attached: its rate, how late a click in
  // the middle of it was handled, how often the window was painted and
  // how busy the window's thread was. `pause` is a fixed wait inside the
  // transfer that is not counted.
  auto timeTransfer = [&](const std::string& name, double pause,
                          const std::function<bool()>& work) {
    paints.count = 0;
    window.mStartTime = window.mClock();
    bool ok = false;
    const auto start = Clock::now();
    const double cpuStart = ThreadCpuSeconds();
    const double click = probe.Measure([&] { ok = work(); });
    const double seconds = SecondsSince(start) - pause;
    if (!ok) Fail("the " + name, ftp);
    Report((name + "_MBps").c_str(), size / seconds / kBytesPerMB);
    Report((name + "_click_ms").c_str(), click);
    Report((name + "_paints_per_s").c_str(), paints.count / seconds);
    Report((name + "_window_thread_busy_pct").c_str(),
           100 * (ThreadCpuSeconds() - cpuStart) / seconds);
  };
  timeTransfer("upload", kUploadPauseSeconds, [&] { return ftp.FTPUploadFile(local, remote); });
  const std::string copy = local + ".back";
  std::string copyArg = copy;
  timeTransfer("download", 0, [&] { return ftp.FTPDownloadFile(copyArg, remote); });
  // The labels hold the last event's values even though not every one was painted.
  std::printf("final_labels %s | %s\n", window.Label7->text().toStdString().c_str(),
              window.Label9->text().toStdString().c_str());
  std::filesystem::remove(copy);

  ReportListing(ftp, listDir);
  ftp.CloseConnection();
  return 0;
}
