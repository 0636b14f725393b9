#include "core/frame_timer.h"

#include <cstdlib>
#include <cstring>

#include "platform/clock.h"

const ClockSource& platform_clock_source() {
  static const ClockSource source{platform::performance_frequency, platform::performance_counter,
                                  platform::millisecond_clock, platform::precise_wait_ms};
  return source;
}

namespace {
const ClockSource& source_of(const FrameTimer& timer) {
  return timer.source ? *timer.source : platform_clock_source();
}
}  // namespace

int timer_start(FrameTimer& timer) {
  const ClockSource* source = timer.source;
  timer = FrameTimer{};
  timer.source = source;
  const ClockSource& clocks = source_of(timer);
  int64_t frequency = 0;
  if (clocks.frequency(frequency) && frequency > 0) {
    timer.frequency = frequency;
    timer.start_count = clocks.counter();
    timer.use_performance_counter = true;
    timer.resolution = static_cast<float>(1.0 / static_cast<double>(frequency));
  } else {
    timer.use_performance_counter = false;
    timer.start_ms = clocks.millis();
    timer.resolution = 0.001f;
    timer.frequency = 1000;
  }
  return 1;
}

double now_ms(const FrameTimer& timer) {
  const ClockSource& clocks = source_of(timer);
  const long double resolution = timer.resolution;
  if (timer.use_performance_counter) {
    const int64_t elapsed = clocks.counter() - timer.start_count;
    return static_cast<double>(static_cast<long double>(elapsed) * resolution * 1000.0L);
  }
  const uint32_t elapsed = clocks.millis() - timer.start_ms;  // wraps safely
  return static_cast<double>(static_cast<long double>(elapsed) * resolution * 1000.0L);
}

void hold_frame(const FrameTimer& timer, double frame_start_ms) {
  const double remaining = kPacedFrameMs - (now_ms(timer) - frame_start_ms);
  if (remaining <= 0.0) return;
  const ClockSource& clocks = source_of(timer);
  (clocks.wait ? clocks.wait : platform::precise_wait_ms)(remaining);
}

bool frames_paced() {
  const char* unpaced = std::getenv("MORVANE_UNPACED");
  return !(unpaced && std::strcmp(unpaced, "1") == 0);
}
