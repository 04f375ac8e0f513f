#include "app/progress_bar.h"

#include "app/short_text.h"

#include <bit>
#include <cmath>
#include <cstdint>

namespace {

// Resolution of the drawn bar: finer than any bar is wide in pixels.
constexpr int kSteps = 10000;

constexpr std::u16string_view kBytesBetween = u" Bytes od ";
constexpr std::u16string_view kBytesEnd = u" Bytes Prenešeno ";

// The very same setting, bit for bit: -0 is kept apart from 0, as given.
bool Same(float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); }

}  // namespace

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent) {
  QProgressBar::setRange(0, kSteps);
  setTextVisible(false);
  ShowPosition();
}

// The bar is set for every chunk of a transfer, mostly to what it already
// shows: the drawn position is passed on only when it moves.
void ProgressBar::SetMin(float min) {
  if (Same(min, mMin)) return;
  mMin = min;
  ShowPosition();
}

void ProgressBar::SetMax(float max) {
  if (Same(max, mMax)) return;
  mMax = max;
  ShowPosition();
}

void ProgressBar::SetValue(float value) {
  mValue = value;
  ShowPosition();
}

QString ProgressBar::ToolTipText() const {
  if (!mToolTipCounts.shown) return {};
  ShortText text;
  AppendFloat(text, mToolTipCounts.value);
  text.Append(kBytesBetween);
  AppendFloat(text, mToolTipCounts.max);
  text.Append(kBytesEnd);
  return text.ToQString();
}

void ProgressBar::PublishToolTip() {
  const Counts& now = mToolTipCounts;
  const Counts& was = mPublishedCounts;
  if (now.shown == was.shown && Same(now.value, was.value) && Same(now.max, was.max)) return;
  setToolTip(ToolTipText());
  mPublishedCounts = now;
}

void ProgressBar::ShowPosition() {
  const int steps = FilledSteps();
  if (steps == mShownSteps) return;
  mShownSteps = steps;
  QProgressBar::setValue(steps);
}

int ProgressBar::FilledSteps() const {
  // An empty range has nothing to scale by: the bar is full once the value
  // has reached the maximum (an empty file that is done) and empty before.
  if (!(mMax > mMin)) return mValue >= mMax ? kSteps : 0;
  const double fraction = (double{mValue} - mMin) / (double{mMax} - mMin);
  if (!(fraction > 0)) return 0;
  if (fraction >= 1) return kSteps;
  return static_cast<int>(std::lround(fraction * kSteps));
}
