// Waiting without freezing the window: the program's pauses and its waits
// on the network run on the window's thread, which must still see a click
// on the close button at once.
#pragma once

#include <chrono>
#include <functional>

// The longest a wait goes without letting the window handle its events:
// short enough that a click is acted on well within what feels immediate.
inline constexpr std::chrono::milliseconds kYieldStep{10};

// Waits `length` in all, no less, calling `yield` (when set) at the start
// and then every kYieldStep at most.
void WaitYielding(std::chrono::milliseconds length, const std::function<void()>& yield);

// For waits that may come by the hundred a second, each short (a busy
// transfer's): the window is served at most once per kYieldStep, where
// serving it at every wait would cost more than the wait.
class PacedYield {
 public:
  // Calls `yield` (when set) unless it was called less than kYieldStep ago.
  void operator()(const std::function<void()>& yield);

 private:
  std::chrono::steady_clock::time_point last_;
};
