// The progress display: after every chunk of a transfer the bar, its
// tooltip's counts and the labels for amount, percentage, rate and time
// remaining are refreshed. The handler runs for every few hundred bytes, so
// a text is built only when the figures it shows have changed, with to_chars
// into one string, and a control is written only when its text changes.

#include "frm_update.h"

#include "progress_bar.h"
#include "short_text.h"

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

constexpr float kBytesPerKB = 1024;
constexpr int64_t kBytesPerRateUnit = 1000;
constexpr int kSecondsPerMinute = 60;
constexpr int kSecondsPerHour = 3600;

const char* const kRemainingPrefix = "Do konca še: ";
const char* const kFullPercent = "100%";

std::optional<int64_t> RoundFraction(double x) {
  const double rounded = std::nearbyint(x);
  if (!(std::fabs(rounded) < kInt64Limit)) return std::nullopt;
  return static_cast<int64_t>(rounded);
}

// Nearest integer, halves to the even neighbour; nothing for a value that
// no 64-bit integer holds. Byte counts are whole already: they take the
// short way, which is kept small enough to be inlined.
inline std::optional<int64_t> RoundToInt(double x) {
  if (std::fabs(x) < kInt64Limit) {
    const auto whole = static_cast<int64_t>(x);
    if (whole == x) return whole;
  }
  return RoundFraction(x);
}

// Bytes per second over elapsed seconds, in thousands, rounded to two
// decimals with halves away from zero: a count of hundredths. The rounding
// is done on whole numbers so that a third decimal of 5 is always a true half.
std::optional<int64_t> MeasuredHundredths(int64_t bytes, float elapsed) {
  if (elapsed == 0) return std::nullopt;
  const auto perSecond = RoundToInt(std::floor(static_cast<double>(bytes) / elapsed));
  if (!perSecond) return std::nullopt;
  constexpr int64_t perHundredth = kBytesPerRateUnit / 100;
  constexpr int64_t half = perHundredth / 2;
  return *perSecond >= 0 ? (*perSecond + half) / perHundredth
                         : -((-*perSecond + half) / perHundredth);
}

// The float nearest to the two-decimal number, as reading its text back
// would give: the quotient in double is exact enough that rounding it to
// float lands on the same neighbour.
float RateOf(int64_t hundredths) {
  return static_cast<float>(static_cast<double>(hundredths) / 100);
}

// The pieces of the texts that change with nearly every chunk.
constexpr std::u16string_view kRateUnit = u" Kbps";
constexpr std::u16string_view kKBBetween = u" KB od ";
constexpr std::u16string_view kKBEnd = u" KB Prenešeno";

// The locale's decimal separator; the program sets its locale once at start.
const std::u16string& DecimalPoint() {
  static const std::u16string point =
      QString::fromLocal8Bit(std::localeconv()->decimal_point).toStdU16String();
  return point;
}

// A rate known to have two decimals, as the label shows it: no 0 in front
// of the separator.
QString HundredthsText(int64_t hundredths) {
  ShortText text;
  if (hundredths < 0) text += '-';
  const int64_t magnitude = hundredths < 0 ? -hundredths : hundredths;
  if (magnitude >= 100) AppendInt(text, magnitude / 100);
  text.Append(DecimalPoint());
  AppendTwoDigits(text, magnitude % 100);
  text.Append(kRateUnit);
  return text.ToQString();
}

// KB as shown: the rounded byte count divided by 1024, remainder dropped.
std::optional<int64_t> WholeKB(float bytes) {
  const auto rounded = RoundToInt(bytes);
  if (!rounded) return std::nullopt;
  return *rounded / static_cast<int64_t>(kBytesPerKB);
}

QString ToQString(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString ToQString(QString&& text) { return std::move(text); }

QString AmountText(int64_t valueKB, int64_t maxKB) {
  ShortText text;
  AppendInt(text, valueKB);
  text.Append(kKBBetween);
  AppendInt(text, maxKB);
  text.Append(kKBEnd);
  return text.ToQString();
}

std::optional<int64_t> Percentage(int64_t count, float max) {
  if (max == 0) return std::nullopt;
  return RoundToInt(static_cast<double>(count) / max * 100);
}

std::string PercentText(int64_t percent) {
  std::string text;
  AppendInt(text, percent);
  text += '%';
  return text;
}

// The rate with two decimals, a third one only when it is not 0, no 0 in
// front of the decimal separator, and the separator of the user's locale.
std::optional<QString> RateText(float rate) {
  if (!std::isfinite(rate)) return std::nullopt;
  // Widen through the float's shortest text: the float stands for that
  // decimal number, not for the binary fraction next to it.
  char shortest[64];
  const auto shortestEnd = std::to_chars(shortest, shortest + sizeof shortest, rate).ptr;
  double value = 0;
  std::from_chars(shortest, shortestEnd, value);

  char digits[64];
  const auto end =
      std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 3).ptr;
  std::string_view number(digits, end - digits);
  if (number.back() == '0') number.remove_suffix(1);
  const auto point = number.find('.');
  std::string_view whole = number.substr(0, point);
  const std::string_view decimals = number.substr(point + 1);

  ShortText text;
  if (whole.front() == '-') {
    text += '-';
    whole.remove_prefix(1);
  }
  if (whole != "0") text.AppendAscii(whole.data(), whole.data() + whole.size());
  text.Append(DecimalPoint());
  text.AppendAscii(decimals.data(), decimals.data() + decimals.size());
  text.Append(kRateUnit);
  return text.ToQString();
}

// Seconds left for what is still to come at the current rate.
std::optional<float> RemainingSeconds(float max, float value, float rate) {
  if (rate == 0) return std::nullopt;
  return std::floor((max - value) / kBytesPerKB / rate);
}

std::optional<std::string> RemainingText(float seconds) {
  const std::string time = FrmUpdate::ConvertTime(seconds);
  if (time.empty()) return std::nullopt;
  return kRemainingPrefix + time;
}

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
  // Each copy of a shared string costs two atomic operations, so the
  // control's text is fetched once; a control given a string holds that
  // very string afterwards.
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

std::string FrmUpdate::ConvertTime(float TheTime) {
  if (!(TheTime >= 0 && TheTime < kInt64Limit)) return {};
  // Whole seconds in integers: single precision would lose the seconds of
  // long durations, and hours are not capped at a day.
  const auto total = static_cast<int64_t>(TheTime);
  std::string text;
  AppendTwoDigits(text, total / kSecondsPerHour);
  text += ':';
  AppendTwoDigits(text, total / kSecondsPerMinute % kSecondsPerMinute);
  text += ':';
  AppendTwoDigits(text, total % kSecondsPerMinute);
  return text;
}
