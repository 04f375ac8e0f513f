#include "base/yielding_wait.h"

#include <algorithm>
#include <thread>

void PacedYield::operator()(const std::function<void()>& yield) {
  if (!yield) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_ < kYieldStep) return;
  last_ = now;
  yield();
}

void WaitYielding(std::chrono::milliseconds length, const std::function<void()>& yield) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + length;
  for (Clock::time_point now = Clock::now(); now < end; now = Clock::now()) {
    if (yield) yield();
    std::this_thread::sleep_for(std::min<Clock::duration>(kYieldStep, end - Clock::now()));
  }
}
