#include "app/display_watch.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// As long as the job waits for a server's reply.
constexpr Clock::duration kLongestTurn = std::chrono::seconds(60);
constexpr auto kLookEvery = std::chrono::seconds(1);

// When the current turn began, in the clock's ticks; 0 between turns.
std::atomic<Clock::rep> turn_began{0};

Clock::rep Now() { return Clock::now().time_since_epoch().count(); }

}  // namespace

void DisplayTurnBegins() { turn_began = Now(); }

void DisplayTurnEnds() { turn_began = 0; }

void WatchDisplayTurns(void (*end)()) {
  std::thread([end] {
    for (;;) {
      std::this_thread::sleep_for(kLookEvery);
      const Clock::rep began = turn_began;
      if (began != 0 && Now() - began > kLongestTurn.count()) end();
    }
  }).detach();
}
