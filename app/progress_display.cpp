// The progress display: after every chunk of a transfer the bar, its
// tooltip and the labels for amount, percentage, rate and time remaining are
// refreshed. The handler runs for every few hundred bytes, so the texts are
// built with to_chars into one string each and a control is written only
// when its text changes.

#include "frm_update.h"

#include "progress_bar.h"

#include <QLabel>

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <optional>
#include <string_view>

namespace {

constexpr float kBytesPerKB = 1024;
constexpr int64_t kBytesPerRateUnit = 1000;
constexpr int kSecondsPerMinute = 60;
constexpr int kSecondsPerHour = 3600;
// Every double below this magnitude converts to a 64-bit integer.
constexpr double kInt64Limit = 9.2e18;

const char* const kRemainingPrefix = "Do konca še: ";
const char* const kRateSuffix = " Kbps";
const char* const kFullPercent = "100%";

// Nearest integer, halves to the even neighbour; nothing for a value that
// no 64-bit integer holds.
std::optional<int64_t> RoundToInt(double x)
{
    const double rounded = std::nearbyint(x);
    if (!(std::fabs(rounded) < kInt64Limit))
        return std::nullopt;
    return static_cast<int64_t>(rounded);
}

void AppendInt(std::string& text, int64_t n)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    text.append(digits, end);
}

void AppendTwoDigits(std::string& text, int64_t n)
{
    if (n < 10)
        text += '0';
    AppendInt(text, n);
}

// The shortest text that reads back as the same float: byte counts, which
// are whole, print without decimals.
void AppendFloat(std::string& text, float x)
{
    char digits[64];
    const auto end = std::to_chars(digits, digits + sizeof digits, x, std::chars_format::fixed).ptr;
    text.append(digits, end);
}

// Bytes per second over elapsed seconds, in thousands, rounded to two
// decimals with halves away from zero. The rounding is done on whole
// hundredths so that a third decimal of 5 is always a true half.
std::optional<float> MeasuredRate(int64_t bytes, float elapsed)
{
    if (elapsed == 0)
        return std::nullopt;
    const auto perSecond = RoundToInt(std::floor(static_cast<double>(bytes) / elapsed));
    if (!perSecond)
        return std::nullopt;
    constexpr int64_t perHundredth = kBytesPerRateUnit / 100;
    constexpr int64_t half = perHundredth / 2;
    const int64_t hundredths = *perSecond >= 0 ? (*perSecond + half) / perHundredth
                                               : -((-*perSecond + half) / perHundredth);
    // Read the two-decimal number back as typed text would be, so that the
    // float is the one nearest to it.
    char digits[32];
    auto end = std::to_chars(digits, digits + sizeof digits - 3, hundredths).ptr;
    end = std::copy_n("e-2", 3, end);
    float rate = 0;
    std::from_chars(digits, end, rate);
    return rate;
}

// KB as shown: the rounded byte count divided by 1024, remainder dropped.
std::optional<int64_t> WholeKB(float bytes)
{
    const auto rounded = RoundToInt(bytes);
    if (!rounded)
        return std::nullopt;
    return *rounded / static_cast<int64_t>(kBytesPerKB);
}

std::string TooltipText(float value, float max)
{
    std::string text;
    AppendFloat(text, value);
    text += " Bytes od ";
    AppendFloat(text, max);
    text += " Bytes Prenešeno ";
    return text;
}

std::optional<std::string> AmountText(float value, float max)
{
    const auto valueKB = WholeKB(value);
    const auto maxKB = WholeKB(max);
    if (!valueKB || !maxKB)
        return std::nullopt;
    std::string text;
    AppendInt(text, *valueKB);
    text += " KB od ";
    AppendInt(text, *maxKB);
    text += " KB Prenešeno";
    return text;
}

std::optional<int64_t> Percentage(int64_t count, float max)
{
    if (max == 0)
        return std::nullopt;
    return RoundToInt(static_cast<double>(count) / max * 100);
}

std::string PercentText(int64_t percent)
{
    std::string text;
    AppendInt(text, percent);
    text += '%';
    return text;
}

// The rate with two decimals, a third one only when it is not 0, no 0 in
// front of the decimal separator, and the separator of the user's locale.
std::optional<std::string> RateText(float rate)
{
    if (!std::isfinite(rate))
        return std::nullopt;
    // Widen through the float's shortest text: the float stands for that
    // decimal number, not for the binary fraction next to it.
    char shortest[64];
    const auto shortestEnd = std::to_chars(shortest, shortest + sizeof shortest, rate).ptr;
    double value = 0;
    std::from_chars(shortest, shortestEnd, value);

    char digits[64];
    const auto end = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 3).ptr;
    std::string_view number(digits, end - digits);
    if (number.back() == '0')
        number.remove_suffix(1);
    const auto point = number.find('.');
    std::string_view whole = number.substr(0, point);
    const std::string_view decimals = number.substr(point + 1);

    std::string text;
    if (whole.front() == '-') {
        text += '-';
        whole.remove_prefix(1);
    }
    if (whole != "0")
        text += whole;
    text += std::localeconv()->decimal_point;
    text += decimals;
    text += kRateSuffix;
    return text;
}

// Seconds left for what is still to come at the current rate.
std::optional<std::string> RemainingText(float max, float value, float rate)
{
    if (rate == 0)
        return std::nullopt;
    const std::string time = FrmUpdate::ConvertTime(std::floor((max - value) / kBytesPerKB / rate));
    if (time.empty())
        return std::nullopt;
    return kRemainingPrefix + time;
}

// Writes a text into a control only when the control shows something else.
template <typename Control, typename Base>
void ShowText(Control* control, QString (Base::*shown)() const,
              void (Base::*show)(const QString&), const std::string& text)
{
    const QString fresh = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if ((control->*shown)() != fresh)
        (control->*show)(fresh);
}

void ShowLabel(QLabel* label, const std::string& text)
{
    ShowText(label, &QLabel::text, &QLabel::setText, text);
}

}

void FrmUpdate::mFTP_FileTransferProgress(int64_t lCurrentBytes, int64_t lTotalBytes)
{
    // With no time gone by there is no rate to measure: the last one stays.
    if (const auto rate = MeasuredRate(lCurrentBytes, mClock() - mStartTime))
        mRate = *rate;

    PB->SetMax(static_cast<float>(lTotalBytes));
    PB->SetMin(0);
    // The percentage is that of the count the bar showed before this event.
    // The count is a local that starts at 0, which is what it stays if the
    // bar's value cannot be rounded.
    const int64_t previous = RoundToInt(PB->Value()).value_or(0);
    Yield();
    PB->SetValue(static_cast<float>(lCurrentBytes));
    Yield();
    ShowText(PB, &QWidget::toolTip, &QWidget::setToolTip, TooltipText(PB->Value(), PB->Max()));
    Yield();
    if (const auto amount = AmountText(PB->Value(), PB->Max()))
        ShowLabel(Label7, *amount);
    Yield();
    const auto percent = Percentage(previous, PB->Max());
    if (percent)
        ShowLabel(Label9, PercentText(*percent));
    // Only a minimized window shows the percentage in its caption; once
    // restored it keeps the last one until the next time it is minimized.
    if (percent && isMinimized()) {
        std::string caption = kCaption;
        caption += ' ';
        caption += PercentText(*percent);
        ShowText(this, &QWidget::windowTitle, &QWidget::setWindowTitle, caption);
    }
    Yield();
    if (const auto rate = RateText(mRate))
        ShowLabel(Label10, *rate);
    if (const auto remaining = RemainingText(PB->Max(), PB->Value(), mRate))
        ShowLabel(Label11, *remaining);
    if (PB->Max() == PB->Value())
        ShowLabel(Label9, kFullPercent);
}

std::string FrmUpdate::ConvertTime(float TheTime)
{
    if (!(TheTime >= 0 && TheTime < kInt64Limit))
        return {};
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
