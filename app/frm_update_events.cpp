// The window's turns at its events: the yields a long job makes on the
// window's own thread, and what the window does with the events it gets.
#include "app/frm_update.h"

#include "app/display_watch.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>

#include <chrono>
#include <ctime>

namespace {

// How often a busy transfer lets the window process its events. A screen
// redraws every 16.7 ms at 60 Hz, so at 10 ms every frame shows current
// texts; a click waits at most that long, well within what feels immediate.
// Yielding for every chunk instead would spend most of the time repainting.
constexpr std::chrono::nanoseconds kYieldInterval = std::chrono::milliseconds(10);
// A transfer asks whether a yield is due several times for every chunk, so
// the question must stay cheaper than the chunk itself: the clock is read at
// every eighth asking only, which still finds the interval over soon after
// it ends.
constexpr unsigned kAsksPerClockReading = 8;

// The kernel's tick-resolution clock: the cheapest to read, and a tick is
// fine enough for the interval above.
int64_t CoarseNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

// What a mouse or a keyboard can do to a button.
bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
      return true;
    default:
      return false;
  }
}

}  // namespace

void FrmUpdate::Yield() {
  ShowProgress();
  DisplayTurnBegins();
  QCoreApplication::processEvents();
  DisplayTurnEnds();
  mYieldDue = false;
  mLastYieldNs = CoarseNanoseconds();
}

void FrmUpdate::YieldWhenDue() {
  const bool readClock = ++mAsksSinceClock % kAsksPerClockReading == 0;
  if (mYieldDue || (readClock && CoarseNanoseconds() - mLastYieldNs >= kYieldInterval.count()))
    Yield();
}

// Hiding the window would leave the job running unseen, deleting sources
// and starting commands nobody expects any more.
void FrmUpdate::closeEvent(QCloseEvent* e) {
  e->accept();
  Command3_Click();
}

// The mode label keeps the size of its word: a new caption asks the window
// for a new layout while it is shown, and a caption set before the window
// appears is measured when it is shown.
bool FrmUpdate::event(QEvent* e) {
  const bool remeasure = e->type() == QEvent::LayoutRequest || e->type() == QEvent::Show;
  if (remeasure && Lblmode) Lblmode->adjustSize();
  // The job runs from the event loop, not from inside this handler.
  // Events noted while minimized show their percentage in the caption,
  // those noted otherwise do not.
  if (e->type() == QEvent::WindowStateChange) {
    ShowProgress();
    mNoted.minimized = isMinimized();
  }
  if (e->type() == QEvent::WindowActivate)
    QMetaObject::invokeMethod(this, &FrmUpdate::Form_Activate, Qt::QueuedConnection);
  return QWidget::event(e);
}

// The check box only shows whether the current line deletes its sources.
bool FrmUpdate::eventFilter(QObject* watched, QEvent* e) {
  if (watched == Chkbrisi && IsUserInput(e->type())) return true;
  return QWidget::eventFilter(watched, e);
}
