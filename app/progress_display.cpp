// The progress display: after every chunk of a transfer the bar, its
// tooltip's counts and the labels for amount, percentage, rate and time
// remaining are refreshed. The handler runs for every few hundred bytes, so
// a text is built only when the figures it shows have changed, with to_chars
// into one string, and a control is written only when its text changes.

#include "frm_update.h"

#include "progress_bar.h"
#include "progress_texts.h"

#include <QLabel>

#include <algorithm>
#include <array>
#include <charconv>
#include <clocale>
#include <cmath>
#include <optional>
#include <string_view>
#include <utility>

namespace {

QString ToQString(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString ToQString(QString&& text) { return std::move(text); }

// The figures a text was built from, and the text the control was given.
// While the figures stay the same and the control still holds that very
// text (the same shared string, not merely an equal one), building the text
// again is skipped: most events change only a few of the figures.
struct ShownText {
  std::pair<double, double> figures{std::nan(""), std::nan("")};
  QString text;
};

// Writes the text `build` makes from `figures` into a control, unless the
// control already shows it.
template <typename Control, typename Base, typename Build>
void ShowText(ShownText& shown, std::pair<double, double> figures, Control* control,
              QString (Base::*current)() const, void (Base::*show)(const QString&), Build build) {
  // The control's text is fetched once per check; a control given a string
  // holds that very string afterwards, so comparing the string's data tells
  // whether it is still the one written here.
  QString now = (control->*current)();
  if (figures == shown.figures) {
    if (now.constData() == shown.text.constData()) return;
    // A label given a text equal to its own keeps its own string.
    if (now == shown.text) {
      shown.text = now;
      return;
    }
  }
  auto text = build();
  if (!text) return;
  // New figures nearly always make a new text, so it is handed over
  // without comparing; a label compares it itself.
  QString fresh = ToQString(std::move(*text));
  (control->*show)(fresh);
  shown.text = std::move(fresh);
  shown.figures = figures;
}

template <typename Build>
void ShowLabel(ShownText& shown, std::pair<double, double> figures, QLabel* label, Build build) {
  ShowText(shown, figures, label, &QLabel::text, &QLabel::setText, build);
}

// One set for the program's one window.
struct ShownTexts {
  ShownText amount, percent, caption, rate, remaining;
};

ShownTexts shownTexts;

}  // namespace

std::array<QLabel*, 4> FrmUpdate::ProgressLabels() const {
  return {Label7, Label9, Label10, Label11};
}

// The progress controls take a new value with nearly every chunk. Telling the
// screen and assistive technology each time costs more than the transfer
// itself, and neither can follow hundreds of thousands of changes a second.
// So while a transfer reports, the controls take their values silently, and
// the next yield redraws them, gives the bar's tooltip to the widget and
// announces what they hold then. A label's accessible name stands for its
// text meanwhile; a label with a name of its own does not announce each new
// text.
void FrmUpdate::HoldProgressDrawing() {
  if (mProgressDrawingHeld) return;
  PB->setUpdatesEnabled(false);
  for (QLabel* label : ProgressLabels()) {
    label->setUpdatesEnabled(false);
    label->setAccessibleName(label->text());
  }
  mProgressDrawingHeld = true;
}

void FrmUpdate::ReleaseProgressDrawing() {
  if (!mProgressDrawingHeld) return;
  // Enabling the updates again also asks for the redraw; clearing the name
  // lets the text speak for itself again, and announces it.
  PB->setUpdatesEnabled(true);
  PB->PublishToolTip();
  for (QLabel* label : ProgressLabels()) {
    label->setUpdatesEnabled(true);
    label->setAccessibleName(QString());
  }
  mProgressDrawingHeld = false;
}

void FrmUpdate::mFTP_FileTransferProgress(int64_t lCurrentBytes, int64_t lTotalBytes) {
  HoldProgressDrawing();
  // With no time gone by there is no rate to measure: the last one stays.
  const auto hundredths = MeasuredHundredths(lCurrentBytes, mClock() - mStartTime);
  if (hundredths) mRate = RateOf(*hundredths);

  PB->SetMax(static_cast<float>(lTotalBytes));
  PB->SetMin(0);
  // The percentage is that of the count the bar showed before this event.
  // The count is a local that starts at 0, which is what it stays if the
  // bar's value cannot be rounded.
  const int64_t previous = RoundToInt(PB->Value()).value_or(0);
  YieldWhenDue();
  PB->SetValue(static_cast<float>(lCurrentBytes));
  YieldWhenDue();
  PB->ShowCountsInToolTip();
  YieldWhenDue();
  // Keyed on the whole KB shown, which change once in four chunks.
  const auto valueKB = WholeKB(PB->Value());
  const auto maxKB = WholeKB(PB->Max());
  if (valueKB && maxKB)
    ShowLabel(shownTexts.amount, {*valueKB, *maxKB}, Label7,
              [&] { return std::optional(AmountText(*valueKB, *maxKB)); });
  YieldWhenDue();
  const auto percent = Percentage(previous, PB->Max());
  if (percent)
    ShowLabel(shownTexts.percent, {*percent, 0}, Label9,
              [&] { return std::optional(PercentText(*percent)); });
  // Only a minimized window shows the percentage in its caption; once
  // restored it keeps the last one until the next time it is minimized.
  if (percent && isMinimized()) {
    ShowText(shownTexts.caption, {*percent, 0}, static_cast<QWidget*>(this), &QWidget::windowTitle,
             &QWidget::setWindowTitle, [&] {
               std::string caption = kCaption;
               caption += ' ';
               caption += PercentText(*percent);
               return std::optional(caption);
             });
  }
  YieldWhenDue();
  // A rate measured just now is known to two decimals exactly: its text
  // comes straight from them.
  ShowLabel(shownTexts.rate, {mRate, 0}, Label10, [&] {
    return hundredths ? std::optional(HundredthsText(*hundredths)) : RateText(mRate);
  });
  if (const auto seconds = RemainingSeconds(PB->Max(), PB->Value(), mRate))
    ShowLabel(shownTexts.remaining, {*seconds, 0}, Label11,
              [&] { return RemainingText(*seconds); });
  // The same text as a whole percentage of 100 has, from other figures.
  if (PB->Max() == PB->Value())
    ShowLabel(shownTexts.percent, {100, 1}, Label9,
              [] { return std::optional<std::string>(kFullPercent); });
}

std::string FrmUpdate::ConvertTime(float TheTime) { return DurationText(TheTime); }
