// morvane-server: hosts a game without a window, a display or sound. The
// host's game object runs in the host's role at the game's frame rate,
// handling every message every frame (there is no window to lose), with
// computer players of its own in the empty seats if asked.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>

#include "bot/command_line.h"
#include "core/frame_timer.h"
#include "core/game_core.h"
#include "net/session.h"
#include "server/computer_seats.h"
#include "server/frame_pacing.h"
#include "server/options.h"
#include "server/server_game.h"
#include "server/server_log.h"
#include "shell/frame_driver.h"
#include "shell/state_report.h"

namespace {

volatile std::sig_atomic_t g_stop_asked = 0;  // set by the signal handler only

extern "C" void ask_to_stop(int) { g_stop_asked = 1; }

void install_stop_handlers() {
  struct sigaction action{};
  action.sa_handler = ask_to_stop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// The frame timer, and a sleep that may wake late (the schedule makes it up).
double timer_now_ms(void* timer) { return now_ms(*static_cast<const FrameTimer*>(timer)); }

void sleep_ms(void*, double ms) {
  std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms));
}

void serve(GameCore& host, ComputerSeats& seats, ServerLog& log, int32_t report_seconds) {
  FrameTimer timer{};
  timer_start(timer);
  log.period_start_ms = now_ms(timer);
  FramePacer pacer;
  start_pacing(pacer, PacingClock{&timer, timer_now_ms, sleep_ms});
  while (!g_stop_asked) {
    const double frame_start = now_ms(timer);
    run_server_frame(host, seats, frame_start);
    report_state_if_asked(host);
    count_frame(log, frame_start, report_seconds, computer_players(seats));
    hold_until_turn(pacer);
    host.world.frames_per_second = measure_frames_per_second(now_ms(timer) - frame_start);
  }
}

}  // namespace

int main(int argc, char** argv) {
  ServerOptions options;
  char error[256] = {};
  const bool understood = parse_server_options(argc - 1, argv + 1, options, error, sizeof error);
  auto level = std::make_unique<LevelTable>();
  if (const int status = start_program("morvane-server", understood, error, options.help, kServerUsage,
                                       *level, options.level_path);
      status >= 0)
    return status;
  install_stop_handlers();
  install_state_report();
  auto host = std::make_unique<GameCore>();
  if (!open_server_game(*host, options.name, {options.port, platform::kDiscoveryPort, 0}, *level)) {
    std::fprintf(stderr, "morvane-server: cannot host the game: UDP port %u cannot be opened.\n",
                 options.port);
    release_directplay(*host);
    return 1;
  }
  ServerLog log;
  watch_host(log, *host);
  const uint32_t seed = chosen_seed(options.seed_given, options.seed);
  auto seats = std::make_unique<ComputerSeats>();
  start_computer_seats(*seats, *host, options.bots, options.skill, seed, *level);
  log_line(
      "start: \"%s\" on UDP port %u (listed on %u), level %s, %d computer "
      "players at skill %d",
      options.name, options.port, host->session.ports.discovery, options.level_path, options.bots,
      options.skill);
  serve(*host, *seats, log, options.report_seconds);
  log_line("stop: the game is closed, every player told");
  close_server_game(*host, *seats);
  return 0;
}
