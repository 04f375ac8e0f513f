#include "timer.h"

#include <ctime>

float Timer()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    // The clock is read for every chunk of a transfer; the local time of day
    // is worked out once per second, as the whole seconds are all it needs.
    static std::time_t cachedWhole = -1;
    static double cachedSeconds = 0;
    if (now.tv_sec != cachedWhole) {
        std::tm local{};
        localtime_r(&now.tv_sec, &local);
        cachedSeconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
        cachedWhole = now.tv_sec;
    }
    return static_cast<float>(cachedSeconds + now.tv_nsec * 1e-9);
}
