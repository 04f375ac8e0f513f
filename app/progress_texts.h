// The texts of the progress display, built from a transfer's figures. Plain
// functions of their arguments: no widget is involved.
#pragma once

#include <QString>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

#include "app/short_text.h"

// Nearest integer of a value that has a fraction, halves to the even
// neighbour; nothing for a value that no 64-bit integer holds.
std::optional<int64_t> RoundFraction(double x);

// Nearest integer, halves to the even neighbour; nothing for a value that
// no 64-bit integer holds. Byte counts are whole already and come back as
// they are, without the rounding call.
inline std::optional<int64_t> RoundToInt(double x) {
  if (std::fabs(x) < kInt64Limit) {
    const auto whole = static_cast<int64_t>(x);
    if (static_cast<double>(whole) == x) return whole;
  }
  return RoundFraction(x);
}

// Bytes per second over elapsed seconds, in thousands, rounded to two
// decimals with halves away from zero: a count of hundredths. Nothing when
// no time has gone by.
std::optional<int64_t> MeasuredHundredths(int64_t bytes, float elapsed);

// Bytes per second in one hundredth of the rate's unit; half of it rounds
// to the first hundredth above 0.
inline constexpr int64_t kBytesPerHundredth = 10;
// A quotient below this is far inside what a 64-bit integer holds.
inline constexpr double kSurelyWhole = 0x1p62;

// True when MeasuredHundredths(bytes, elapsed) is surely above 0, as for a
// running transfer, told by two products instead of the division: 5 times
// or 2^62 times a float is exact in double, and a quotient at least 5 and
// below 2^62 before rounding stays so after it.
inline bool SurelyPositiveRate(int64_t bytes, float elapsed) {
  const double count = static_cast<double>(bytes);
  const double seconds = elapsed;
  constexpr double leastPositive = kBytesPerHundredth / 2;
  return seconds > 0 && count >= leastPositive * seconds && count < kSurelyWhole * seconds;
}
// Whether MeasuredHundredths(bytes, elapsed) is above 0; nothing when it
// measures nothing. It runs for every chunk: only what the products cannot
// tell is measured.
inline std::optional<bool> MeasuresPositiveRate(int64_t bytes, float elapsed) {
  if (SurelyPositiveRate(bytes, elapsed)) return true;
  const auto hundredths = MeasuredHundredths(bytes, elapsed);
  if (!hundredths) return std::nullopt;
  return *hundredths > 0;
}
// The float nearest to the two-decimal number, as reading its text back
// would give.
float RateOf(int64_t hundredths);
// A rate known to have two decimals, as the label shows it.
QString HundredthsText(int64_t hundredths);
// The rate with two decimals, a third one only when it is not 0, no 0 in
// front of the decimal separator, and the separator of the user's locale.
std::optional<QString> RateText(float rate);

// KB as shown: the rounded byte count divided by 1024, remainder dropped.
std::optional<int64_t> WholeKB(float bytes);
QString AmountText(int64_t valueKB, int64_t maxKB);

// The percentage label of a full bar.
inline constexpr char kFullPercent[] = "100%";

std::optional<int64_t> Percentage(int64_t count, float max);
std::string PercentText(int64_t percent);

// Seconds left for what is still to come at the current rate.
std::optional<float> RemainingSeconds(float max, float value, float rate);
std::optional<std::string> RemainingText(float seconds);
// A whole number of seconds as "HH:MM:SS"; hours go on past 23. Empty when
// the value is negative or not a finite number.
std::string DurationText(float seconds);
