#include "platform/clock.h"

#include <time.h>

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

}  // namespace platform
