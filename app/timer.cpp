#include "timer.h"

#include <chrono>
#include <ctime>

float Timer()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t whole = system_clock::to_time_t(now);
    // The clock is read for every chunk of a transfer; the local time of day
    // is worked out once per second, as the whole seconds are all it needs.
    static std::time_t cachedWhole = -1;
    static double cachedSeconds = 0;
    if (whole != cachedWhole) {
        std::tm local{};
        localtime_r(&whole, &local);
        cachedSeconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
        cachedWhole = whole;
    }
    // to_time_t truncates toward the past on this platform, so the rest is
    // the fraction of the current second.
    const duration<double> fraction = now - system_clock::from_time_t(whole);
    return static_cast<float>(cachedSeconds + fraction.count());
}
