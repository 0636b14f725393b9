// The frame timer everything tells time by: milliseconds since start-up.
#pragma once

#include <cstdint>

// Where the timer reads its clocks; the platform's by default, a test's own
// when it needs to control time.
struct ClockSource {
  bool (*frequency)(int64_t& counts_per_second);
  int64_t (*counter)();
  uint32_t (*millis)();
};

const ClockSource& platform_clock_source();

struct FrameTimer {
  const ClockSource* source = nullptr;  // null: the platform's clocks
  bool use_performance_counter = false;
  int64_t frequency = 0;
  float resolution = 0;  // seconds per count, single precision on purpose
  int64_t start_count = 0;
  uint32_t start_ms = 0;
};

// Zeroes the timer (keeping its source) and takes the start reading. Returns 1.
int timer_start(FrameTimer& timer);
// Milliseconds since timer_start, computed in extended precision.
double now_ms(const FrameTimer& timer);
