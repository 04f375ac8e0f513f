// The progress display: the bar, its tooltip's counts, the labels for
// amount, percentage, rate and time remaining, and the caption of a
// minimized window, as the last event of a transfer leaves them.
//
// The handler runs for every few hundred bytes, hundreds of thousands of
// times a second, while the screen shows a new frame every 16 ms. So an
// event is only noted, and the controls are drawn from the last one noted.
// What a drawing shows depends on the last event, the bar's value before it
// and the rate alone, except where a step keeps a control's text (no rate
// yet, no total, a count past the total): such an event is drawn at once,
// after what was noted before it.

#include "app/frm_update.h"

#include "app/progress_bar.h"
#include "app/progress_texts.h"

#include <QLabel>

#include <algorithm>
#include <string>
#include <utility>

namespace {

// Counts below this keep every figure well inside what the texts' integers
// hold: even a percentage of them over a total of 1 byte.
constexpr float kPlainCount = 9e16f;

// A text equal to the one shown is not set again: that would repaint the
// control and announce it once more.
void ShowText(QLabel* label, const QString& text) {
  if (label->text() != text) label->setText(text);
}

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text); }

}  // namespace

void FrmUpdate::mFTP_FileTransferProgress(int64_t lCurrentBytes, int64_t lTotalBytes) {
  NoteProgress(lCurrentBytes, lTotalBytes);
  ShowProgress();
}

void FrmUpdate::NoteProgress(int64_t lCurrentBytes, int64_t lTotalBytes) {
  NoteProgressAt(lCurrentBytes, lTotalBytes, mClock() - mStartTime);
}

// A run's events are noted at the moment of its first. When each of them is
// sure to be plain (a rate above 0 measured, a count below the total), each
// leaves nothing but its counts, its rate and, for the next one, its value:
// the last two alone leave what all of them would.
void FrmUpdate::TransferRunProgressed(int64_t lFirstBytes, int64_t step, int64_t count,
                                      int64_t lTotalBytes) {
  const float elapsed = mClock() - mStartTime;
  const int64_t last = lFirstBytes + (count - 1) * step;
  NoteProgressAt(lFirstBytes, lTotalBytes, elapsed);
  const float max = static_cast<float>(lTotalBytes);
  const bool allPlain = lFirstBytes >= 0 && static_cast<float>(last) < max && max < kPlainCount &&
                        SurelyPositiveRate(lFirstBytes, elapsed) &&
                        SurelyPositiveRate(last, elapsed);
  for (int64_t i = allPlain ? std::max<int64_t>(1, count - 2) : 1; i < count; ++i)
    NoteProgressAt(lFirstBytes + i * step, lTotalBytes, elapsed);
}

// Per event: a few comparisons; no control is touched unless the event is
// one to draw at once. With no time gone by there is no rate to measure:
// the last one stays.
void FrmUpdate::NoteProgressAt(int64_t lCurrentBytes, int64_t lTotalBytes, float elapsed) {
  const auto positive = MeasuresPositiveRate(lCurrentBytes, elapsed);
  const auto& rateBefore = mNoted.rate;
  const bool ratePositive = positive ? *positive : (rateBefore ? rateBefore->positive : mRate > 0);
  const float max = static_cast<float>(lTotalBytes);
  const float value = static_cast<float>(lCurrentBytes);
  const float previous = PB->Value();
  // Below a full bar at a rate above 0 every step writes its control. A
  // full bar ends the file: it is drawn before the upload's closing texts
  // take the time-remaining label.
  const bool plain = ratePositive && value >= 0 && value < max && max < kPlainCount &&
                     previous >= 0 && previous < kPlainCount;
  if (!plain) ShowProgress();
  if (positive) mNoted.rate = NotedProgress::Measurement{lCurrentBytes, elapsed, *positive};
  mNoted.previous = previous;
  mNoted.due = true;
  PB->Take(max, value);
  if (!plain) ShowProgress();
}

void FrmUpdate::ShowProgress() {
  if (!mNoted.due) return;
  mNoted.due = false;
  const auto measured = std::exchange(mNoted.rate, std::nullopt);
  const auto hundredths =
      measured ? MeasuredHundredths(measured->bytes, measured->elapsed) : std::nullopt;
  if (hundredths) mRate = RateOf(*hundredths);
  PB->Redraw();
  const float max = PB->Max();
  const float value = PB->Value();
  const auto valueKB = WholeKB(value);
  const auto maxKB = WholeKB(max);
  if (valueKB && maxKB) ShowText(Label7, AmountText(*valueKB, *maxKB));
  // The percentage is that of the count the bar showed before the event.
  // The count starts at 0, which is what it stays if the bar's value cannot
  // be rounded.
  const auto percent = Percentage(RoundToInt(mNoted.previous).value_or(0), max);
  if (max == value)
    ShowText(Label9, kFullPercent);
  else if (percent)
    ShowText(Label9, FromUtf8(PercentText(*percent)));
  // Only a minimized window shows the percentage in its caption; once
  // restored it keeps the last one until the next time it is minimized.
  if (percent && mNoted.minimized) {
    const QString caption = FromUtf8(std::string(kCaption) + ' ' + PercentText(*percent));
    if (windowTitle() != caption) setWindowTitle(caption);
  }
  // A rate measured just now is known to two decimals exactly: its text
  // comes straight from them. A rate that stays keeps its text.
  if (!(mRate == mRateShown)) {
    const auto text = hundredths ? std::optional(HundredthsText(*hundredths)) : RateText(mRate);
    if (text) {
      ShowText(Label10, *text);
      mRateShown = mRate;
    }
  }
  if (const auto seconds = RemainingSeconds(max, value, mRate))
    if (const auto text = RemainingText(*seconds)) ShowText(Label11, FromUtf8(*text));
}

std::string FrmUpdate::ConvertTime(float TheTime) { return DurationText(TheTime); }
