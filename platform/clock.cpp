#include "platform/clock.h"

#include <SDL.h>
#include <sys/prctl.h>
#include <time.h>

#include <cerrno>
#include <cstdint>

namespace platform {

bool performance_frequency(int64_t& counts_per_second) {
  counts_per_second = static_cast<int64_t>(SDL_GetPerformanceFrequency());
  return counts_per_second > 0;
}

int64_t performance_counter() { return static_cast<int64_t>(SDL_GetPerformanceCounter()); }

uint32_t millisecond_clock() { return SDL_GetTicks(); }

namespace {

constexpr int64_t kNanosecondsPerSecond = 1'000'000'000;
// The last stretch before a deadline is spun rather than slept: the kernel
// may wake a sleeper this late even with the smallest timer slack.
constexpr int64_t kSpinNanoseconds = 150'000;

int64_t monotonic_ns() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * kNanosecondsPerSecond + now.tv_nsec;
}

}  // namespace

void precise_wait_ms(double ms) {
  if (!(ms > 0.0)) return;
  static const bool slack_set = prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0;
  (void)slack_set;
  const int64_t deadline = monotonic_ns() + static_cast<int64_t>(ms * 1e6);
  const int64_t wake = deadline - kSpinNanoseconds;
  if (wake > monotonic_ns()) {
    const timespec until{static_cast<time_t>(wake / kNanosecondsPerSecond),
                         static_cast<long>(wake % kNanosecondsPerSecond)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
  }
  while (monotonic_ns() < deadline) {
  }
}

}  // namespace platform
