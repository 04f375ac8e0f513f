#include "base/yielding_wait.h"

#include <algorithm>
#include <thread>

void WaitYielding(std::chrono::milliseconds length, const std::function<void()>& yield) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + length;
  for (Clock::time_point now = Clock::now(); now < end; now = Clock::now()) {
    if (yield) yield();
    std::this_thread::sleep_for(std::min<Clock::duration>(kYieldStep, end - Clock::now()));
  }
}
