// The server's frame schedule: 85 frames a second from the start, each held
// by sleeping until its turn. A wake-up that comes late is made up by the
// next frames' shorter holds, so the rate stays 85 on average without
// spinning (the windowed game spins the last fraction of a millisecond of
// each hold instead, for a steady picture; the server has none).
#pragma once

struct PacingClock {
  void* context = nullptr;
  double (*now_ms)(void* context) = nullptr;
  void (*sleep_ms)(void* context, double ms) = nullptr;  // may wake late
};

struct FramePacer {
  PacingClock clock{};
  double next_frame_ms = 0;  // when the next frame's turn comes
};

// Starts the schedule now.
void start_pacing(FramePacer& pacer, const PacingClock& clock);

// Sleeps until the next frame's turn. A loop fallen further behind than a
// few frames (a machine that stopped it for a while) starts the schedule
// again rather than racing through the frames it missed.
void hold_until_turn(FramePacer& pacer);
