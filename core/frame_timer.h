// The frame timer everything tells time by: milliseconds since start-up.
#pragma once

#include <cstdint>

// Where the timer reads its clocks; the platform's by default, a test's own
// when it needs to control time.
struct ClockSource {
  bool (*frequency)(int64_t& counts_per_second);
  int64_t (*counter)();
  uint32_t (*millis)();
  // Waits the given milliseconds; null: the platform's precise wait.
  void (*wait)(double ms) = nullptr;
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

// Every per-frame quantity of the game is tuned for 85 frames a second.
inline constexpr double kTunedFramesPerSecond = 85.0;
// The shortest frame: a little under 1/85 s, so that the measured rate,
// truncated to whole frames a second, reads 85 (and the simulation's step
// is 1) even when the wait ends a few microseconds late.
inline constexpr double kPacedFrameMs = 1000.0 / (kTunedFramesPerSecond + 0.5);

// Holds the frame that began at frame_start_ms (on this timer) until it has
// lasted kPacedFrameMs; a frame that took longer is not held.
void hold_frame(const FrameTimer& timer, double frame_start_ms);

// False when the environment asks for unpaced frames (MORVANE_UNPACED=1),
// which only benchmarks and tests that measure raw frame cost should do.
bool frames_paced();
