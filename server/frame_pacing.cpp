#include "server/frame_pacing.h"

#include "core/frame_timer.h"

namespace {

constexpr double kFrameMs = 1000.0 / kTunedFramesPerSecond;

// How far behind its schedule the loop may fall (a busy machine, a late
// wake-up) and still catch up with frames held shorter.
constexpr double kLargestLagMs = 8 * kFrameMs;

}  // namespace

void start_pacing(FramePacer& pacer, const PacingClock& clock) {
  pacer.clock = clock;
  pacer.next_frame_ms = clock.now_ms(clock.context);
}

void hold_until_turn(FramePacer& pacer) {
  const PacingClock& clock = pacer.clock;
  pacer.next_frame_ms += kFrameMs;
  const double now = clock.now_ms(clock.context);
  if (now > pacer.next_frame_ms + kLargestLagMs) pacer.next_frame_ms = now;
  if (pacer.next_frame_ms > now) clock.sleep_ms(clock.context, pacer.next_frame_ms - now);
}
