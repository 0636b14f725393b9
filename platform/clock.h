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

}  // namespace platform
