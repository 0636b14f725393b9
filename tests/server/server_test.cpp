// The dedicated server's log between the host game and its transport, and
// the server's frame schedule on a clock of the test's own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/game_core.h"
#include "net/protocol.h"
#include "net/score.h"
#include "server/frame_pacing.h"
#include "server/server_log.h"

namespace {

// A host game in session whose transport sends nothing anywhere and
// measures every player's round trip as 40 ms plus the player's id.
std::unique_ptr<GameCore> watched_host(ServerLog& log) {
  auto host = std::make_unique<GameCore>();
  host->settings.is_host = 1;
  host->settings.use_tcpip = 1;
  host->world.in_session = 1;
  host->world.tank.local_player_id = 1;
  const char* names[] = {"Server", "Ann", "Mallory"};
  for (uint32_t i = 0; i < 3; ++i) {
    PlayerSlot& slot = host->world.player_table[i];
    slot.active = 1;
    slot.player_id = i + 1;
    std::strcpy(slot.name, names[i]);
  }
  Transport& network = host->protocol.transport;
  network.send = [](void*, uint32_t, uint32_t, bool, const uint8_t*, std::size_t) { return true; };
  network.round_trip_ms = [](void*, uint32_t player) { return 40u + player; };
  watch_host(log, *host);
  return host;
}

double g_log_now_ms = 0;
double test_log_clock() { return g_log_now_ms; }

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

// The log sits between the host and its session: the score table still
// gets every player's round trip through it, as on a windowed host.
TEST(ServerLog, TheHostStillMeasuresRoundTripsThroughTheLog) {
  ServerLog log;
  auto host = watched_host(log);
  read_round_trips(*host);
  EXPECT_EQ(score_of_slot(*host, 0).round_trip_ms, 0u);  // the server's own player
  EXPECT_EQ(score_of_slot(*host, 1).round_trip_ms, 42u);
  EXPECT_EQ(score_of_slot(*host, 2).round_trip_ms, 43u);
}

// Every message the host refuses is in the log with its sender, at once
// for the first and then at most once a second per sender with the count
// since the last line, however fast a hostile player sends them.
TEST(ServerLog, RefusalsAreLoggedBySenderAtMostOnceASecondEach) {
  ServerLog log;
  log.clock = test_log_clock;
  g_log_now_ms = 5000;
  auto host = watched_host(log);
  TextMessage set_health;  // only the host may send one
  set_health.header = {MSG_SET_HEALTH, 1, 3};
  set_health.value = 100;
  const auto forged = encode_message(set_health);
  const uint8_t short_message[] = {0, 0, 0, 0, 1, 0};

  testing::internal::CaptureStdout();
  for (int n = 0; n < 40; ++n) EXPECT_EQ(handle_game_message(*host, forged, 3, 1), 0);
  EXPECT_EQ(handle_game_message(*host, short_message, 2, 1), 0);  // another sender: a line of its own
  g_log_now_ms += 999;
  handle_game_message(*host, forged, 3, 1);
  g_log_now_ms += 1;
  handle_game_message(*host, forged, 3, 1);
  g_log_now_ms += 10;
  handle_game_message(*host, forged, 3, 1);  // counted for the next line
  const std::vector<std::string> lines = lines_of(testing::internal::GetCapturedStdout());

  ASSERT_EQ(lines.size(), 3u) << testing::PrintToString(lines);
  auto ends_with = [](const std::string& line, const std::string& tail) {
    return line.size() >= tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
  };
  EXPECT_TRUE(ends_with(lines[0], " refused: Mallory (seat 2): Found an invalid message.")) << lines[0];
  EXPECT_TRUE(ends_with(lines[1], " refused: Ann (seat 1): Found an invalid message.")) << lines[1];
  EXPECT_TRUE(ends_with(lines[2],
                        " refused: Mallory (seat 2): Found an invalid message. (41 times since the last line)"))
      << lines[2];
}

namespace {

// The server's clock in a test: time moves only when the loop works or
// sleeps, and every `stall_every`-th sleep wakes `stall_ms` late.
struct SimulatedClock {
  double now = 1000.0;
  int sleeps = 0;
  int stall_every = 0;
  double stall_ms = 0;
};

PacingClock simulated(SimulatedClock& clock) {
  return PacingClock{
      &clock, [](void* c) { return static_cast<SimulatedClock*>(c)->now; },
      [](void* c, double ms) {
        auto& clock = *static_cast<SimulatedClock*>(c);
        clock.now += ms;
        if (clock.stall_every > 0 && ++clock.sleeps % clock.stall_every == 0) clock.now += clock.stall_ms;
      }};
}

// Frames run in `seconds` of simulated time, each frame's work taking
// `work_ms`; the longest run of frames that began less than a millisecond
// apart goes to `burst`.
int frames_in(SimulatedClock& clock, double seconds, double work_ms, int* burst = nullptr) {
  FramePacer pacer;
  start_pacing(pacer, simulated(clock));
  const double end = clock.now + seconds * 1000.0;
  int frames = 0, run = 0;
  double last_start = -1e9;
  while (clock.now < end) {
    run = clock.now - last_start < 1.0 ? run + 1 : 1;
    if (burst && run > *burst) *burst = run;
    last_start = clock.now;
    ++frames;
    clock.now += work_ms;
    hold_until_turn(pacer);
  }
  return frames;
}

}  // namespace

// Eighty-five frames a second on average, also when a sleep now and then
// wakes 30 ms late: the frames after it are held shorter. A machine that
// stops the server for half a second does not make it race through the
// frames it missed.
TEST(ServerPacing, LateWakeUpsAreMadeUpAndALongStopIsNotRacedThrough) {
  SimulatedClock steady;
  EXPECT_NEAR(frames_in(steady, 20, 2.0) / 20.0, 85.0, 0.1);

  SimulatedClock stalling;
  stalling.stall_every = 20;  // about four 30 ms stalls a second
  stalling.stall_ms = 30.0;
  EXPECT_NEAR(frames_in(stalling, 20, 2.0) / 20.0, 85.0, 0.5);

  SimulatedClock stopped;
  stopped.stall_every = 200;
  stopped.stall_ms = 500.0;
  int burst = 0;
  EXPECT_GT(frames_in(stopped, 20, 0.5, &burst) / 20.0, 70.0);
  EXPECT_LE(burst, 10) << "frames raced after a long stop";
}
