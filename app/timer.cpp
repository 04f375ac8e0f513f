#include "timer.h"

#include <chrono>
#include <ctime>

float Timer()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t whole = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&whole, &local);
    // to_time_t truncates toward the past on this platform, so the rest is
    // the fraction of the current second.
    const duration<double> fraction = now - system_clock::from_time_t(whole);
    const double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
    return static_cast<float>(seconds + fraction.count());
}
