// Starts the program: the window, its load, and the job at its first
// activation. The job ends the process itself.
#include "app/display_watch.h"
#include "app/frm_update.h"
#include "base/text.h"
#include "job/exit_status.h"

#include <QApplication>
#include <QTimer>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>

namespace {

constexpr char kVersion[] = "kestrin " KESTRIN_VERSION;
// How a run that something outside the program ended is told.
constexpr char kStoppedUnfinished[] = "kestrin: the run stopped unfinished";
constexpr char kUsage[] =
    "Usage: kestrin [SECTION][, TRANSFER LINE]\n"
    "Runs one FTP transfer job of kestrin.ini, which lies beside the program,\n"
    "and ends. SECTION names the job section; without it, IZBRANO in section\n"
    "PROGRAM does. An extra transfer line (pattern, direction, DEL) may follow.\n"
    "Exit status: 0 all files moved, 1 a file failed, a source could not be\n"
    "deleted or a log record not written, 2 no connection, 3 closed by the user,\n"
    "4 a follow-up command could not be started, the job was already running\n"
    "or the run failed.\n";

std::string JoinArguments(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) text += (i > 1 ? " " : "") + std::string(argv[i]);
  return text;
}

// No dialog ever waits for a click nobody will make: any failure that gets
// this far is one line on standard error and a status of its own.
[[noreturn]] void EndOnUncaughtFailure() {
  std::string what = "unknown failure";
  try {
    if (std::exception_ptr failure = std::current_exception()) std::rethrow_exception(failure);
  } catch (const std::exception& failure) {
    what = failure.what();
  } catch (...) {
  }
  std::fprintf(stderr, "kestrin: the run failed: %s\n", what.c_str());
  FrmUpdate::EndProgram(kExitRunFailure);
}

// Without a display Qt would abort at start, and scheduled runs have none:
// they run offscreen. A display that is named but cannot be reached (a
// stale DISPLAY in a cron environment) falls back to offscreen as well.
// True when the choice was made here.
bool ChoosePlatform() {
  if (std::getenv("QT_QPA_PLATFORM")) return false;
  const bool wayland = std::getenv("WAYLAND_DISPLAY") != nullptr;
  const bool x11 = std::getenv("DISPLAY") != nullptr;
  const char* platforms = wayland ? (x11 ? "wayland;xcb;offscreen" : "wayland;offscreen")
                                  : (x11 ? "xcb;offscreen" : "offscreen");
  setenv("QT_QPA_PLATFORM", platforms, 1);
  return true;
}

// Standard error carries the program's own words, and a good run leaves it
// empty for the scheduler's mail: Qt's own notices (such as the missing
// runtime directory of a run under cron) stay off it. Its critical and
// fatal messages still go there. The last of the others is kept: it may
// be why Qt ends the program.
std::mutex qt_notice_mutex;
std::string last_qt_notice;

void QtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) {
    std::fprintf(stderr, "kestrin: %s\n", message.toLocal8Bit().constData());
    return;
  }
  const std::lock_guard<std::mutex> lock(qt_notice_mutex);
  last_qt_notice = message.toLocal8Bit().toStdString();
}

// The program's own ends never call exit(). Qt does when the display goes
// away (an X server that dies), and so would a return from the event loop:
// either stops the job wherever it is, so it is a failure, said on
// standard error, and ends as the program's own ends do.
void EndedFromOutside() {
  std::string text = kStoppedUnfinished;
  {
    const std::lock_guard<std::mutex> lock(qt_notice_mutex);
    if (!last_qt_notice.empty()) text += "; Qt's last notice: " + last_qt_notice;
  }
  std::fputs((EscapeControlCharacters(text) + "\n").c_str(), stderr);
  FrmUpdate::EndProgram(kExitRunFailure);
}

// Called from the watching thread: the window's own is held by the display.
void EndWhenDisplayStopsAnswering() {
  std::fprintf(stderr, "%s: the display stopped answering\n", kStoppedUnfinished);
  FrmUpdate::EndProgram(kExitRunFailure);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::puts(kVersion);
    return kExitOk;
  }
  std::set_terminate(EndOnUncaughtFailure);
  // A reader of the status echo that goes away must not end the job.
  std::signal(SIGPIPE, SIG_IGN);
  qInstallMessageHandler(QtMessages);
  std::atexit(EndedFromOutside);
  const bool platformChosen = ChoosePlatform();
  std::setlocale(LC_ALL, "");

  // Qt sees only the program's name: the arguments belong to the job and
  // must not be taken for Qt's own options.
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  // The follow-up commands get the environment the program was given: a
  // Qt program among them finds its own display, or fails without one,
  // rather than run unseen offscreen.
  if (platformChosen) unsetenv("QT_QPA_PLATFORM");

  FrmUpdate window;
  window.mCommandLine = JoinArguments(argc, argv);
  try {
    window.Form_Load();
  } catch (const std::exception&) {
    EndOnUncaughtFailure();
  }
  window.show();
  // A window on an X server without a window manager is never activated;
  // the first turn of the event loop then counts as its activation.
  QTimer::singleShot(0, &window, &FrmUpdate::Form_Activate);
  WatchDisplayTurns(EndWhenDisplayStopsAnswering);
  DisplayTurnBegins();
  return app.exec();
}
