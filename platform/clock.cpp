#include "platform/clock.h"

#include <sys/prctl.h>
#include <time.h>

#include <cerrno>
#include <cstdint>

namespace platform {

namespace {

constexpr int64_t kNanosecondsPerSecond = 1000000000;
constexpr int64_t kNanosecondsPerMillisecond = 1000000;

// The monotonic clock, which never jumps when the wall clock is set. It
// needs no set-up, so a program without a window tells time the same way.
int64_t monotonic_nanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * kNanosecondsPerSecond + now.tv_nsec;
}

}  // namespace

bool performance_frequency(int64_t& counts_per_second) {
  counts_per_second = kNanosecondsPerSecond;
  return true;
}

int64_t performance_counter() { return monotonic_nanoseconds(); }

uint32_t millisecond_clock() {
  return static_cast<uint32_t>(monotonic_nanoseconds() / kNanosecondsPerMillisecond);
}

namespace {

// The last stretch before a deadline is spun rather than slept: the kernel
// may wake a sleeper this late even with the smallest timer slack.
constexpr int64_t kSpinNanoseconds = 150'000;

}  // namespace

void precise_wait_ms(double ms) {
  if (!(ms > 0.0)) return;
  static const bool slack_set = prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0;
  (void)slack_set;
  const int64_t deadline = monotonic_nanoseconds() + static_cast<int64_t>(ms * 1e6);
  const int64_t wake = deadline - kSpinNanoseconds;
  if (wake > monotonic_nanoseconds()) {
    const timespec until{static_cast<time_t>(wake / kNanosecondsPerSecond),
                         static_cast<long>(wake % kNanosecondsPerSecond)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
  }
  while (monotonic_nanoseconds() < deadline) {
  }
}

}  // namespace platform
