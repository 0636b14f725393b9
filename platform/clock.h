// The frame timer's clocks: a high-resolution counter when there is one,
// and a millisecond clock as the fallback.
#pragma once

#include <cstdint>

namespace platform {

// Counts per second of the performance counter; false when there is none.
bool performance_frequency(int64_t& counts_per_second);
int64_t performance_counter();
// Milliseconds since some fixed point; wraps after about 49 days.
uint32_t millisecond_clock();

// Waits ms milliseconds on the clock: the thread sleeps for most of the
// time and finishes with a short spin, so that a wait of 11 ms ends within
// a few microseconds of its deadline (a plain sleep overshoots by up to a
// millisecond, which is 8% of a frame). Returns at once for ms <= 0.
void precise_wait_ms(double ms);

}  // namespace platform
