// The frame driver's order, the Escape walk, key pacing, the window's part
// in a lost session, the frame timer and the run log header.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/game.h"
#include "net/protocol.h"
#include "net/session.h"
#include "platform/clock.h"
#include "shell/main_loop.h"
#include "shell/run_log.h"

namespace {

// Records which stages ran, in order, and what step the simulation got.
std::vector<std::string> g_calls;
float g_step = 0;
int g_failing_stage_result = 1;

int rec_input(GameCore&) { g_calls.push_back("input"); return 1; }
int rec_status(GameCore&) { g_calls.push_back("status"); return 1; }
int rec_receive(GameCore&) { g_calls.push_back("receive"); return 1; }
void rec_music(GameCore&) { g_calls.push_back("music"); }
int rec_sim(GameCore&, float step) { g_calls.push_back("simulation"); g_step = step; return 1; }
int rec_render(GameCore&) { g_calls.push_back("render"); return 1; }
int rec_session(GameCore&) { g_calls.push_back("session_menu"); return 1; }
int rec_pause(GameCore&) { g_calls.push_back("pause_menu"); return g_failing_stage_result; }
int rec_chat(GameCore&) { g_calls.push_back("chat"); return 1; }
int rec_entry(GameCore&) { g_calls.push_back("entry"); return 1; }

std::unique_ptr<Game> recording_game() {
  g_calls.clear();
  g_step = 0;
  g_failing_stage_result = 1;
  auto game = std::make_unique<Game>();
  game->stages = FrameStages{rec_input,  rec_status, rec_receive, rec_music,  rec_sim,
                             rec_render, rec_session, rec_pause,  rec_chat, rec_entry};
  return game;
}

using Calls = std::vector<std::string>;

platform::WindowEvent escape() { return {platform::WindowEventType::KeyDown, platform::kVirtualKeyEscape}; }

}  // namespace

TEST(FrameDriver, TitleScreenRunsTheSessionMenuAndNoSimulation) {
  auto game = recording_game();
  EXPECT_EQ(run_frame(*game), 1);
  EXPECT_EQ(g_calls, (Calls{"input", "status", "receive", "music", "render", "session_menu"}));
  EXPECT_EQ(game->world.frame_counter, 1.0f);
}

TEST(FrameDriver, InGameOverlaysRunInOrderAfterRendering) {
  auto game = recording_game();
  game->world.in_session = 1;
  game->world.pause_menu_open = 1;
  game->world.chat_entry_open = 1;
  game->world.awaiting_entry = 1;
  game->world.frames_per_second = 170;
  EXPECT_EQ(run_frame(*game), 1);
  EXPECT_EQ(g_calls, (Calls{"input", "status", "receive", "music", "simulation", "render",
                            "pause_menu", "chat", "entry"}));
  EXPECT_FLOAT_EQ(g_step, 0.5f);
}

TEST(FrameDriver, OnlyOpenOverlaysRun) {
  auto game = recording_game();
  game->world.in_session = 1;
  game->world.awaiting_entry = 1;
  run_frame(*game);
  EXPECT_EQ(g_calls, (Calls{"input", "status", "receive", "music", "simulation", "render", "entry"}));
}

TEST(FrameDriver, AFailingStageEndsTheFrameAtOnceWithoutCountingIt) {
  auto game = recording_game();
  game->world.in_session = 1;
  game->world.pause_menu_open = 1;
  game->world.awaiting_entry = 1;
  g_failing_stage_result = 0;
  EXPECT_EQ(run_frame(*game), 0);
  EXPECT_EQ(g_calls.back(), "pause_menu");
  EXPECT_EQ(game->world.frame_counter, 0.0f);
}

TEST(FrameDriver, StepIsEightyFiveOverTheLastFrameRate) {
  auto game = recording_game();
  game->world.in_session = 1;
  for (int fps : {85, 170, 60, 1}) {
    game->world.frames_per_second = fps;
    run_frame(*game);
    EXPECT_FLOAT_EQ(g_step, 85.0f / static_cast<float>(fps)) << fps;
  }
}

TEST(FrameRate, MeasuredRateIsTruncatedAndNeverZero) {
  EXPECT_EQ(measure_frames_per_second(11.76), 85);
  EXPECT_EQ(measure_frames_per_second(3.0), 333);
  // A 0 ms frame (1 ms clock) and a frame of several seconds keep the next
  // step finite and non-negative.
  EXPECT_EQ(measure_frames_per_second(0.0), 1000);
  EXPECT_EQ(measure_frames_per_second(-2.0), 1000);
  EXPECT_EQ(measure_frames_per_second(2500.0), 1);
  // Sub-millisecond frames from the high-resolution counter keep their rate,
  // so the step shrinks with them instead of running the game fast.
  EXPECT_EQ(measure_frames_per_second(0.5), 2000);
  EXPECT_EQ(measure_frames_per_second(0.25), 4000);
  for (double ms : {0.0, 0.5, 1e-12, 999.0, 1001.0, 1e9}) {
    const float step = 85.0f / static_cast<float>(static_cast<uint32_t>(measure_frames_per_second(ms)));
    EXPECT_TRUE(std::isfinite(step) && step >= 0) << ms;
  }
}

TEST(EscapeWalk, OutsideAGameEscapeQuits) {
  Game game;
  window_procedure(game, escape());
  EXPECT_EQ(game.world.quit_requested, 1);
  EXPECT_EQ(game.world.key_delay, 40u);
}

TEST(EscapeWalk, InAGameItClosesPauseThenChatElseOpensPause) {
  Game game;
  game.world.in_session = 1;
  game.world.pause_menu_open = 1;
  game.world.chat_entry_open = 1;
  window_procedure(game, escape());
  EXPECT_EQ(game.world.pause_menu_open, 0);
  EXPECT_EQ(game.world.chat_entry_open, 1) << "one level per press";

  game.world.key_delay = 0;
  std::strcpy(game.world.chat_line, "half typed");
  window_procedure(game, escape());
  EXPECT_EQ(game.world.chat_entry_open, 0);
  EXPECT_STREQ(game.world.chat_line, "half typed") << "the typed line stays in its buffer";

  game.world.key_delay = 0;
  game.menus.menu_cursor = 6;
  game.menus.session_menu_phase = 1;
  window_procedure(game, escape());
  EXPECT_EQ(game.world.pause_menu_open, 1);
  EXPECT_EQ(game.menus.menu_cursor, 0) << "the cursor starts on Resume game";
  EXPECT_EQ(game.menus.session_menu_phase, 0);
  EXPECT_EQ(game.world.quit_requested, 0);
}

TEST(EscapeWalk, ASecondPressWithinFortyFramesIsIgnored) {
  Game game;
  game.world.in_session = 1;
  game.world.pause_menu_open = 1;
  window_procedure(game, escape());
  EXPECT_EQ(game.world.pause_menu_open, 0);
  for (int frame = 0; frame < 39; ++frame) --game.world.key_delay;
  window_procedure(game, escape());
  EXPECT_EQ(game.world.pause_menu_open, 0) << "still within the delay";
  --game.world.key_delay;
  window_procedure(game, escape());
  EXPECT_EQ(game.world.pause_menu_open, 1);
}

TEST(WindowProcedure, ActivationDestroyAndOtherKeys) {
  Game game;
  window_procedure(game, {platform::WindowEventType::ActivateApp, 1});
  EXPECT_EQ(game.world.app_active, 1);
  window_procedure(game, {platform::WindowEventType::ActivateApp, 0});
  EXPECT_EQ(game.world.app_active, 0);
  window_procedure(game, {platform::WindowEventType::ActivateApp, 2});
  EXPECT_EQ(game.world.app_active, 1);
  EXPECT_EQ(window_procedure(game, {platform::WindowEventType::SetCursor, 0}), 1);
  window_procedure(game, {platform::WindowEventType::KeyDown, 13});
  EXPECT_EQ(game.world.quit_requested, 0);
  EXPECT_EQ(game.world.key_delay, 0u);
  window_procedure(game, {platform::WindowEventType::Destroy, 0});
  EXPECT_EQ(game.world.quit_requested, 1);
}

// The core reports the lost session; the game's hook closes the window, and
// the close comes back through the window's queue as any other.
TEST(WindowProcedure, ALostSessionClosesTheWindowThroughItsQueue) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  auto game = std::make_unique<Game>();
  game->shell.main_window = platform::create_main_window("session test", 320, 240);
  ASSERT_NE(game->shell.main_window, nullptr);
  platform::WindowEvent event;
  while (platform::take_event(game->shell.main_window, event)) {
  }
  const uint8_t lost[4] = {static_cast<uint8_t>(DPSYS_SESSIONLOST), 0, 0, 0};
  handle_system_message(*game, lost);
  EXPECT_EQ(game->world.quit_requested, 0);  // nothing happens before the window hears it
  while (platform::take_event(game->shell.main_window, event)) window_procedure(*game, event);
  EXPECT_EQ(game->world.quit_requested, 1);
  platform::destroy_window(game->shell.main_window);
}

// While its window is inactive the game runs no frames and takes no
// messages, but the message loop still serves a network game's session:
// a player joining the inactive host is listed and answered.
TEST(MainLoop, AnInactiveWindowStillServesTheSession) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  const auto port = static_cast<uint16_t>(30000 + (getpid() % 5000) * 4);
  auto host = std::make_unique<Game>();
  host->shell.main_window = platform::create_main_window("inactive host", 320, 240);
  ASSERT_NE(host->shell.main_window, nullptr);
  platform::WindowEvent event;
  while (platform::take_event(host->shell.main_window, event)) {
  }
  host->settings.is_host = 1;
  host->settings.use_tcpip = 1;
  std::strcpy(host->settings.player_name, "Hostess");
  host->session.ports = {port, static_cast<uint16_t>(port + 1), 0};
  ASSERT_EQ(create_directplay(*host), 1);
  connect_tcpip(*host, "");
  ASSERT_EQ(open_session(*host), 1);
  host->world.app_active = 0;

  auto guest = std::make_unique<Game>();
  guest->settings.use_tcpip = 1;
  std::strcpy(guest->settings.player_name, "Guest");
  guest->session.ports = host->session.ports;
  guest->session.enumeration_ms = 500;
  ASSERT_EQ(create_directplay(*guest), 1);
  connect_tcpip(*guest, "127.0.0.1");
  std::atomic<int> joined{-1};
  std::thread joiner([&] {
    enumerate_sessions(*guest);
    guest->session.selected_session = 0;
    joined = open_session(*guest);
    platform::post_quit(7);
  });
  EXPECT_EQ(run_message_loop(*host), 7u);
  joiner.join();
  EXPECT_EQ(joined, 1) << "the inactive host did not answer the join";
  EXPECT_EQ(host->world.frame_counter, 0.0f) << "a frame ran while the window was inactive";
  release_directplay(*guest);
  release_directplay(*host);
  platform::destroy_window(host->shell.main_window);
}

namespace {
int64_t g_counter = 0;
uint32_t g_millis = 0;
bool fake_frequency(int64_t& f) { f = 1000000; return true; }
bool no_frequency(int64_t& f) { f = 0; return false; }
int64_t fake_counter() { return g_counter; }
uint32_t fake_millis() { return g_millis; }
}  // namespace

TEST(FrameTimer, CountsMillisecondsFromTheStartWithEitherClock) {
  static const ClockSource counter_clock{fake_frequency, fake_counter, fake_millis};
  FrameTimer timer;
  timer.source = &counter_clock;
  g_counter = 5000000;
  timer_start(timer);
  EXPECT_TRUE(timer.use_performance_counter);
  g_counter += 2500;
  EXPECT_NEAR(now_ms(timer), 2.5, 1e-6);

  static const ClockSource millis_clock{no_frequency, fake_counter, fake_millis};
  timer.source = &millis_clock;
  g_millis = 0xFFFFFFF0u;  // the millisecond clock wraps
  timer_start(timer);
  EXPECT_FALSE(timer.use_performance_counter);
  EXPECT_EQ(timer.frequency, 1000);
  g_millis = 0x10;
  EXPECT_NEAR(now_ms(timer), 32.0, 1e-3);
}

// Paced frames last a hair under 1/85 s, so the measured rate reads 85 and
// the simulation's step is 1; a frame that took longer is not held, and an
// unpaced game (MORVANE_UNPACED=1) is never held. The frame and the hold run
// on a counter of the test's own; the platform's precise wait is then held
// to its promise on the real clock (only a lower bound, so a busy machine
// cannot fail it).
namespace {
int64_t g_frame_cost_us = 0;
int64_t g_waited_us = 0;
void advancing_wait(double ms) {
  const auto us = static_cast<int64_t>(std::llround(ms * 1000.0));
  g_waited_us += us;
  g_counter += us;
}
int costly_render(GameCore&) {
  g_counter += g_frame_cost_us;
  return 1;
}
}  // namespace

TEST(FrameTimer, PacedFramesLastAHairUnderAnEightyFifthOfASecond) {
  static const ClockSource paced_clock{fake_frequency, fake_counter, fake_millis, advancing_wait};
  auto game = recording_game();
  game->stages.render_frame = costly_render;
  game->shell.timer.source = &paced_clock;
  g_counter = 0;
  timer_start(game->shell.timer);
  unsetenv("MORVANE_UNPACED");
  choose_frame_pacing(*game);
  ASSERT_TRUE(game->shell.paced);
  auto frame = [&](int64_t cost_us) {
    g_frame_cost_us = cost_us;
    g_waited_us = 0;
    const int64_t start = g_counter;
    run_one_frame(*game);
    return static_cast<double>(g_counter - start) / 1000.0;  // ms the frame lasted
  };
  for (int64_t cost_us : {0, 3000, 11000}) {
    const double lasted = frame(cost_us);
    EXPECT_GT(lasted, 1000.0 / 86.0) << cost_us;
    EXPECT_LT(lasted, 1000.0 / 85.0) << cost_us;
    EXPECT_EQ(game->world.frames_per_second, 85) << cost_us;
    EXPECT_GT(g_waited_us, 0) << cost_us;
  }
  EXPECT_NEAR(frame(19000), 19.0, 1e-9);
  EXPECT_EQ(g_waited_us, 0) << "a long frame was held";
  EXPECT_EQ(game->world.frames_per_second, 52);

  setenv("MORVANE_UNPACED", "1", 1);
  choose_frame_pacing(*game);
  unsetenv("MORVANE_UNPACED");
  EXPECT_FALSE(game->shell.paced);
  EXPECT_NEAR(frame(3000), 3.0, 1e-9);
  EXPECT_EQ(g_waited_us, 0);
  EXPECT_EQ(game->world.frames_per_second, 333);
  setenv("MORVANE_UNPACED", "0", 1);
  EXPECT_TRUE(frames_paced()) << "only 1 asks for unpaced frames";
  unsetenv("MORVANE_UNPACED");

  // The platform's own wait: a frame held on the real clock lasts at least
  // the paced length, whatever else the machine is doing.
  FrameTimer real;
  timer_start(real);
  for (int n = 0; n < 3; ++n) {
    const double start = now_ms(real);
    hold_frame(real, start);
    const double lasted = now_ms(real) - start;
    EXPECT_GE(lasted, kPacedFrameMs);
    EXPECT_LE(measure_frames_per_second(lasted), 85);
  }
  const auto before = std::chrono::steady_clock::now();
  platform::precise_wait_ms(5.0);
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(5));
}

TEST(RunLog, HeaderUsesTwelveHourTimeWithSuffix) {
  struct Case {
    int hour, minute;
    const char* clock;
    const char* suffix;
  } cases[] = {{12, 30, "12:30", "PM"}, {13, 5, "01:05", "PM"}, {0, 10, "12:10", "AM"},
               {11, 59, "11:59", "AM"}, {23, 0, "11:00", "PM"}};
  for (const Case& c : cases) {
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 8;
    t.tm_wday = 2;
    t.tm_hour = c.hour;
    t.tm_min = c.minute;
    t.tm_sec = 7;
    char header[128];
    format_run_log_header(t, header, sizeof header);
    const std::string expected = std::string("Morvane last run Tue Dec  8 ") + c.clock + ":07 " +
                                 c.suffix + "\n\nInitiating...\n";
    EXPECT_EQ(std::string(header), expected);
  }
}
