// The progress display's texts from their figures alone: no window, no
// application object.
#include "app/progress_texts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

std::string Str(const QString& text) { return text.toStdString(); }

TEST(ProgressTexts, RatesAmountsPercentagesAndTimes) {
  // Rates: thousands of bytes per second to two decimals, halves away from
  // zero, no 0 before the separator; a third decimal only when it is not 0.
  EXPECT_EQ(MeasuredHundredths(12345, 1), 1235);
  EXPECT_EQ(MeasuredHundredths(-1005, 1), -101);
  EXPECT_EQ(MeasuredHundredths(1000, 0), std::nullopt);
  // The per-chunk test of a rate above 0 agrees with measuring it: near 5
  // bytes a second, over the tiniest times and at the largest rates.
  for (const int64_t bytes : {int64_t{3}, int64_t{1} << 55, std::numeric_limits<int64_t>::max()})
    for (const float near : {bytes / 5.0f, bytes / 0x1p62f, bytes / 9.2e18f, 1e-45f, 0.0f})
      for (const float elapsed : {near, std::nextafter(near, 0.0f), std::nextafter(near, 1.0f)})
        for (const float signedElapsed : {elapsed, -elapsed}) {
          const auto h = MeasuredHundredths(bytes, signedElapsed);
          EXPECT_EQ(MeasuresPositiveRate(bytes, signedElapsed),
                    h ? std::optional(*h > 0) : std::nullopt)
              << bytes << " over " << signedElapsed;
        }
  EXPECT_EQ(Str(HundredthsText(1235)), "12.35 Kbps");
  EXPECT_EQ(Str(HundredthsText(-50)), "-.50 Kbps");
  EXPECT_EQ(Str(*RateText(0.125f)), ".125 Kbps");
  EXPECT_EQ(Str(*RateText(123.4f)), "123.40 Kbps");
  EXPECT_EQ(RateText(std::numeric_limits<float>::infinity()), std::nullopt);

  EXPECT_EQ(WholeKB(2047), 1);
  EXPECT_EQ(WholeKB(1e30f), std::nullopt);
  EXPECT_EQ(Str(AmountText(2929687, 4882812)), "2929687 KB od 4882812 KB Prenešeno");

  EXPECT_EQ(Percentage(255, 600), 42);
  EXPECT_EQ(Percentage(1, 0), std::nullopt);
  EXPECT_EQ(PercentText(42), "42%");

  // Time remaining at the rate, in whole seconds; hours go on past a day.
  EXPECT_EQ(RemainingSeconds(61440, 0, 1), 60.0f);
  EXPECT_EQ(RemainingSeconds(61440, 0, 0), std::nullopt);
  EXPECT_EQ(*RemainingText(3725), "Do konca še: 01:02:05");
  EXPECT_EQ(DurationText(100000), "27:46:40");
  EXPECT_EQ(DurationText(-1), "");
  EXPECT_EQ(DurationText(std::numeric_limits<float>::quiet_NaN()), "");
}

}  // namespace
