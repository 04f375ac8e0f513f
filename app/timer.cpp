#include "app/timer.h"

#include <ctime>

float Timer() {
  // The clock is read for every chunk of a transfer, so it must be cheap:
  // the coarse clock ticks every few milliseconds, as fine as the
  // single-precision result is for half of each day anyway. The local
  // time of day is worked out once per second, as the whole seconds are
  // all it needs.
  timespec now{};
  clock_gettime(CLOCK_REALTIME_COARSE, &now);
  static std::time_t cachedWhole = -1;
  static double cachedSeconds = 0;
  if (now.tv_sec != cachedWhole) {
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    cachedSeconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
    cachedWhole = now.tv_sec;
  }
  return static_cast<float>(cachedSeconds + static_cast<double>(now.tv_nsec) * 1e-9);
}
