#include "app/progress_texts.h"

#include "app/short_text.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <string_view>

namespace {

constexpr float kBytesPerKB = 1024;
constexpr int64_t kBytesPerRateUnit = 1000;
constexpr int kSecondsPerMinute = 60;
constexpr int kSecondsPerHour = 3600;

const char* const kRemainingPrefix = "Do konca še: ";

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

}  // namespace

std::optional<int64_t> RoundFraction(double x) {
  const double rounded = std::nearbyint(x);
  if (!(std::fabs(rounded) < kInt64Limit)) return std::nullopt;
  return static_cast<int64_t>(rounded);
}

// Bytes per second over elapsed seconds, in thousands, rounded to two
// decimals with halves away from zero: a count of hundredths. The rounding
// is done on whole numbers so that a third decimal of 5 is always a true half.
std::optional<int64_t> MeasuredHundredths(int64_t bytes, float elapsed) {
  if (elapsed == 0) return std::nullopt;
  const auto perSecond = RoundToInt(std::floor(static_cast<double>(bytes) / elapsed));
  if (!perSecond) return std::nullopt;
  static_assert(kBytesPerHundredth * 100 == kBytesPerRateUnit);
  constexpr int64_t half = kBytesPerHundredth / 2;
  return *perSecond >= 0 ? (*perSecond + half) / kBytesPerHundredth
                         : -((-*perSecond + half) / kBytesPerHundredth);
}

// The float nearest to the two-decimal number, as reading its text back
// would give: the quotient in double is exact enough that rounding it to
// float lands on the same neighbour.
float RateOf(int64_t hundredths) {
  return static_cast<float>(static_cast<double>(hundredths) / 100);
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
  const std::string time = DurationText(seconds);
  if (time.empty()) return std::nullopt;
  return kRemainingPrefix + time;
}

std::string DurationText(float seconds) {
  if (!(seconds >= 0 && seconds < kInt64Limit)) return {};
  // Whole seconds in integers: single precision would lose the seconds of
  // long durations, and hours are not capped at a day.
  const auto total = static_cast<int64_t>(seconds);
  std::string text;
  AppendTwoDigits(text, total / kSecondsPerHour);
  text += ':';
  AppendTwoDigits(text, total / kSecondsPerMinute % kSecondsPerMinute);
  text += ':';
  AppendTwoDigits(text, total % kSecondsPerMinute);
  return text;
}
