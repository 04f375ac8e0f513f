// The progress display replayed with a clock the test sets: what the bar,
// the labels and the caption show after each event of a transfer.

#include "app/frm_update.h"
#include "app/progress_bar.h"
#include "app/progress_texts.h"
#include "ftp/cftp.h"

#include <gtest/gtest.h>

#include <QEvent>
#include <QLabel>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

class Progress : public ::testing::Test {
 protected:
  Progress() {
    f.mClock = [this] { return now; };
  }

  // Sends one event with the clock `elapsed` seconds after the start.
  void Event(int64_t current, int64_t total, float elapsed = 1) {
    now = f.mStartTime + elapsed;
    f.mFTP_FileTransferProgress(current, total);
  }

  static std::string Text(const QLabel* label) { return label->text().toStdString(); }

  FrmUpdate f;
  float now = 0;
};

struct Step {
  int64_t current;
  int64_t total;
  const char* percent;
};

TEST_F(Progress, UploadOf600BytesWithTheWindowMinimizedForTheSecondEvent) {
  f.mStartTime = 100;
  const std::vector<Step> steps = {{255, 600, "0%"}, {510, 600, "42%"}, {600, 600, "100%"}};
  for (const Step& s : steps) {
    f.setWindowState(s.current == 510 ? Qt::WindowMinimized : Qt::WindowNoState);
    Event(s.current, s.total);
    EXPECT_EQ(Text(f.Label9), s.percent) << s.current;
    EXPECT_EQ(Text(f.Label7), "0 KB od 0 KB Prenešeno");
    EXPECT_EQ(f.windowTitle(), s.current == 255 ? "FTP prenos" : "FTP prenos 42%");
  }
  EXPECT_EQ(f.PB->ToolTipText().toStdString(), "600 Bytes od 600 Bytes Prenešeno ");
  EXPECT_EQ(f.mRate, 0.6f);
  EXPECT_EQ(Text(f.Label10), ".60 Kbps");
  EXPECT_EQ(Text(f.Label11), "Do konca še: 00:00:00");
}

TEST_F(Progress, DownloadOf600BytesThenTheNextFileStartsFromWhatItLeft) {
  for (const Step& s : std::vector<Step>{{256, 600, "0%"}, {511, 600, "43%"}}) {
    Event(s.current, s.total);
    EXPECT_EQ(Text(f.Label9), s.percent) << s.current;
  }
  f.setWindowState(Qt::WindowMinimized);
  Event(601, 601);
  // The caption carries the percentage of the previous count; the label
  // is then replaced because the bar is full.
  EXPECT_EQ(f.windowTitle(), "FTP prenos 85%");
  EXPECT_EQ(Text(f.Label9), "100%");
  EXPECT_EQ(f.PB->ToolTipText().toStdString(), "601 Bytes od 601 Bytes Prenešeno ");

  Event(255, 600);
  EXPECT_EQ(Text(f.Label9), "100%");
  EXPECT_EQ(f.windowTitle(), "FTP prenos 100%");
}

TEST_F(Progress, RateIsThousandsOfBytesPerSecondToTwoDecimals) {
  struct Case {
    int64_t bytes;
    float elapsed;
    float rate;
    const char* text;
  };
  for (const Case& c : std::vector<Case>{{1000, 2, 0.5f, ".50 Kbps"},
                                         {12345, 1, 12.35f, "12.35 Kbps"},
                                         {125, 1, 0.13f, ".13 Kbps"},
                                         {123456, 1, 123.46f, "123.46 Kbps"},
                                         {0, 3, 0.0f, ".00 Kbps"}}) {
    Event(c.bytes, 1000000, c.elapsed);
    EXPECT_EQ(f.mRate, c.rate) << c.bytes;
    EXPECT_EQ(Text(f.Label10), c.text);
  }
}

TEST_F(Progress, NoTimeGoneByKeepsTheLastRate) {
  f.Label11->setText("Konec.");
  Event(255, 600, 0);
  EXPECT_EQ(f.mRate, 0.0f);
  EXPECT_EQ(Text(f.Label11), "Konec.");

  f.mRate = 0.125f;
  Event(510, 600, 0);
  EXPECT_EQ(f.mRate, 0.125f);
  EXPECT_EQ(Text(f.Label10), ".125 Kbps");
  EXPECT_EQ(Text(f.Label11), "Do konca še: 00:00:00");
}

TEST_F(Progress, TimeRemainingAtTheLastRate) {
  struct Case {
    int64_t total;
    const char* text;
  };
  f.mRate = 1;
  for (const Case& c : std::vector<Case>{{61440, "Do konca še: 00:01:00"},
                                         {3814400, "Do konca še: 01:02:05"},
                                         {102400000, "Do konca še: 27:46:40"},
                                         {0, "Do konca še: 00:00:00"}}) {
    f.Label11->setText("Konec.");
    Event(0, c.total, 0);
    EXPECT_EQ(Text(f.Label11), c.text);
  }
}

TEST_F(Progress, TransferAcrossMidnightLeavesTimeRemaining) {
  f.mStartTime = 86399;
  now = 1;
  f.Label11->setText("Konec.");
  f.mFTP_FileTransferProgress(43199000, 86398000);
  EXPECT_EQ(Text(f.Label10), "-.50 Kbps");
  EXPECT_EQ(Text(f.Label11), "Konec.");
}

TEST_F(Progress, EmptyFileAndLargeFile) {
  Event(0, 0);
  EXPECT_EQ(f.PB->Max(), 0.0f);
  EXPECT_EQ(Text(f.Label9), "100%");
  EXPECT_EQ(Text(f.Label7), "0 KB od 0 KB Prenešeno");

  Event(3000000000, 5000000000);
  EXPECT_EQ(f.PB->ToolTipText().toStdString(), "3000000000 Bytes od 5000000000 Bytes Prenešeno ");
  EXPECT_EQ(Text(f.Label7), "2929687 KB od 4882812 KB Prenešeno");
}

// Counts the events of one type that a control receives.
struct EventCount : QObject {
  explicit EventCount(QEvent::Type counted) : type(counted) {}
  QEvent::Type type;
  int count = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    count += e->type() == type;
    return false;
  }
};

TEST_F(Progress, UnchangedTextsAreNotWrittenAgain) {
  EventCount changes(QEvent::ToolTipChange);
  f.PB->installEventFilter(&changes);
  Event(510, 510);
  f.Yield();
  Event(510, 510);
  f.Yield();
  EXPECT_EQ(changes.count, 1);
}

// During a transfer the controls take every value at once but are drawn and
// announced at the yields: the yield after a run of events draws the last
// values, gives the bar its tooltip and leaves the labels as they are
// outside a transfer.
TEST_F(Progress, ShownValuesReachTheScreenAtTheNextYield) {
  f.show();
  f.Yield();
  EventCount paints(QEvent::Paint);
  f.Label10->installEventFilter(&paints);
  Event(255, 600);
  Event(510, 600);
  EXPECT_EQ(Text(f.Label10), ".51 Kbps");
  f.Yield();
  EXPECT_GE(paints.count, 1);
  EXPECT_EQ(f.PB->toolTip().toStdString(), "510 Bytes od 600 Bytes Prenešeno ");
  for (QLabel* label : {f.Label7, f.Label9, f.Label10, f.Label11}) {
    EXPECT_TRUE(label->updatesEnabled()) << label->objectName().toStdString();
    EXPECT_TRUE(label->accessibleName().isEmpty()) << label->objectName().toStdString();
  }
  EXPECT_TRUE(f.PB->updatesEnabled());
}

// Files' events as a transfer raises them, one by one or in runs, drawn at
// random moments, against the display's steps applied to every event:
// random sizes, either way, a clock that may stand still or pass midnight,
// the window minimized or not.
TEST_F(Progress, DrawnAtRandomMomentsAsIfEveryEventWereShown) {
  cFTP client;
  AttachView(client, f);
  std::mt19937 random(18);
  float rate = 0, value = 0, start = 0;
  std::string percent, caption = "FTP prenos", rateText, remaining = Text(f.Label11);
  auto reference = [&](int64_t current, int64_t total) {
    if (const auto h = MeasuredHundredths(current, now - start)) rate = RateOf(*h);
    const auto p = Percentage(RoundToInt(value).value_or(0), static_cast<float>(total));
    value = static_cast<float>(current);
    if (p) percent = PercentText(*p);
    if (p && f.isMinimized()) caption = "FTP prenos " + percent;
    rateText = RateText(rate).value_or(QString()).toStdString();
    if (const auto s = RemainingSeconds(static_cast<float>(total), value, rate))
      remaining = RemainingText(*s).value_or(remaining);
    if (value == static_cast<float>(total)) percent = "100%";
  };
  auto drawn = [&](int64_t current, int64_t total) {
    if (random() % 16 != 0 && current < total) return;
    f.Yield();
    ASSERT_EQ(f.mRate, rate) << current;
    ASSERT_EQ(Text(f.Label7),
              AmountText(*WholeKB(value), *WholeKB(static_cast<float>(total))).toStdString());
    ASSERT_EQ(Text(f.Label9), percent);
    ASSERT_EQ(Text(f.Label10), rateText);
    ASSERT_EQ(Text(f.Label11), remaining);
    ASSERT_EQ(f.windowTitle().toStdString(), caption);
  };
  auto step = [&](int64_t current, int64_t total) {
    reference(current, total);
    client.FileTransferProgress(current, total);
    drawn(current, total);
  };
  for (int file = 0; file < 60; ++file) {
    const int64_t size = random() % 4 == 0 ? random() % 1000 : random() % 300000;
    const bool up = random() % 2 == 0;
    f.mStartTime = start = now = 86300 + random() % 200 * 0.5f;
    for (int64_t current = up ? 255 : 256; current < size; current += 255) {
      if (random() % 200 == 0) f.setWindowState(f.windowState() ^ Qt::WindowMinimized);
      now += random() % 500 == 0 ? 60 : random() % 3 * 0.03f;
      if (random() % 300 == 0) now = std::nextafter(start + current / 5.0f, random() % 3 * 1e5f);
      if (random() % 8 == 0) now = std::nextafter(now, 1e5f);
      if (now >= 86400) now -= 86400;
      // Now and then the chunks of a run raise their events at once.
      const int64_t below = (size - 1 - current) / 255 + 1;  // events left before the end
      const int64_t run = random() % 4 == 0 ? std::min<int64_t>(1 + random() % 60, below) : 1;
      if (run == 1) {
        step(current, size);
        continue;
      }
      for (int64_t i = 0; i < run; ++i) reference(current + i * 255, size);
      client.FileTransferRun(current, 255, run, size);
      current += (run - 1) * 255;
      drawn(current, size);
    }
    step(up ? size : size + 1, up || size % 255 == 0 ? size : size + 1);
  }
}

TEST(ConvertTime, WholeSecondsAsHoursMinutesSeconds) {
  EXPECT_EQ(FrmUpdate::ConvertTime(0), "00:00:00");
  EXPECT_EQ(FrmUpdate::ConvertTime(5), "00:00:05");
  EXPECT_EQ(FrmUpdate::ConvertTime(60), "00:01:00");
  EXPECT_EQ(FrmUpdate::ConvertTime(3725), "01:02:05");
  EXPECT_EQ(FrmUpdate::ConvertTime(-1), "");
  EXPECT_EQ(FrmUpdate::ConvertTime(NAN), "");
}

}  // namespace
