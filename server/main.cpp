// morvane-server: hosts a game without a window, a display or sound. The
// host's game object runs in the host's role at the game's frame rate,
// handling every message every frame (there is no window to lose), with
// computer players of its own in the empty seats if asked.

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "bot/command_line.h"
#include "core/frame_timer.h"
#include "core/game_core.h"
#include "net/session.h"
#include "platform/stop_signals.h"
#include "server/computer_seats.h"
#include "server/frame_pacing.h"
#include "server/options.h"
#include "server/public_lists.h"
#include "server/server_game.h"
#include "server/server_log.h"
#include "shell/frame_driver.h"
#include "shell/state_report.h"

namespace {

// The frame timer, and a sleep that may wake late (the schedule makes it up).
double timer_now_ms(void* timer) { return now_ms(*static_cast<const FrameTimer*>(timer)); }

void sleep_ms(void*, double ms) {
  std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms));
}

// The public lists the game is announced to; null when it is announced to
// none (--private, no list named, or HTTP unavailable), which the log says.
void log_announcer_line(void*, const char* line) { log_line("lists: %s", line); }

void warn_of_list_line(void* path, int line_number, const char* why) {
  log_line("lists: %s line %d left out: %s", static_cast<const char*>(path), line_number, why);
}

platform::ListAnnouncer* start_announcing(const ServerOptions& options) {
  if (options.private_game) {
    log_line("lists: private game, announced to no public list");
    return nullptr;
  }
  char path[kLevelPathSize * 2];
  if (!find_lists_file(options, path, sizeof path)) {
    if (options.lists_given)
      log_line("lists: %s cannot be read: the game is announced to no public list", path);
    else
      log_line("lists: no %s found: the game is announced to no public list", kListsFileName);
    return nullptr;
  }
  platform::ListAddresses lists;
  platform::read_list_addresses(path, lists, warn_of_list_line, path);
  if (lists.count == 0) {
    log_line("lists: %s names no list: the game is announced to no public list", path);
    return nullptr;
  }
  char entries[platform::kMaxLists][platform::kListAddressSize];
  const char* addresses[platform::kMaxLists];
  for (std::size_t i = 0; i < lists.count; ++i) {
    std::snprintf(entries[i], sizeof entries[i], "%s:%u", lists.lists[i].host, lists.lists[i].port);
    addresses[i] = entries[i];
    log_line("lists: announcing the game to the list at %s", addresses[i]);
  }
  platform::ListAnnouncer* announcer =
      platform::create_list_announcer(addresses, lists.count, log_announcer_line, nullptr);
  if (!announcer) log_line("lists: HTTP cannot be started: the game is announced to no public list");
  return announcer;
}

// The router's answer about the game port, when it comes or changes: true
// when there was one.
bool log_port_mapping(GameCore& host) {
  char text[platform::kMappingTextSize];
  if (!take_port_mapping_news(host, text, sizeof text)) return false;
  log_line("router: %s", text);
  return true;
}

// A server that asks its router to open the game port announces its game
// once the router has answered: a list's proof sent before the mapping is
// made would be lost, and the game listed only an announcement later. A
// router that keeps silent holds the announcements back this long at most.
constexpr double kRouterWaitMs = 10000;

// How long a stopping server waits in all for the lists to withdraw its game.
constexpr double kWithdrawWaitMs = 2000;

void serve(GameCore& host, ComputerSeats& seats, ServerLog& log, const ServerOptions& options,
           platform::ListAnnouncer* announcer) {
  FrameTimer timer{};
  timer_start(timer);
  log.period_start_ms = now_ms(timer);
  FramePacer pacer;
  start_pacing(pacer, PacingClock{&timer, timer_now_ms, sleep_ms});
  const double serving_since = now_ms(timer);
  bool router_answered = !host.session.port_mapping;
  while (!platform::stop_signal) {
    const double frame_start = now_ms(timer);
    run_server_frame(host, seats, frame_start);
    report_state_if_asked(host, log_line_start);
    if (log_port_mapping(host)) router_answered = true;
    count_frame(log, frame_start, options.report_seconds, computer_players(seats));
    if (announcer && (router_answered || frame_start - serving_since > kRouterWaitMs))
      platform::drive_list_announcer(*announcer, describe_server_game(options, host, seats), frame_start);
    hold_until_turn(pacer);
    host.world.frames_per_second = measure_frames_per_second(now_ms(timer) - frame_start);
  }
}

// The first line of the log: the game, where it is reached, and whether the
// local network's listings show it (its discovery port may be another
// program's).
void log_start(const ServerOptions& options, const GameCore& host) {
  char listed[96];
  if (platform::answers_listings(host.session.peer))
    std::snprintf(listed, sizeof listed, "listed on UDP port %u", host.session.ports.discovery);
  else
    std::snprintf(listed, sizeof listed, "not listed: UDP port %u is in use, join by address",
                  host.session.ports.discovery);
  log_line("start: \"%s\" on UDP port %u (%s), level %s, %d computer players at skill %d", options.name,
           options.port, listed, options.level_path, options.bots, options.skill);
}

}  // namespace

int main(int argc, char** argv) {
  ServerOptions options;
  char error[256] = {};
  const bool understood = parse_server_options(argc - 1, argv + 1, options, error, sizeof error);
  auto level = std::make_unique<LevelTable>();
  const ProgramStart start{"morvane-server", understood, error, options.help, options.version, kServerUsage};
  if (const int status =
          start_program(start, *level, options.level_path, sizeof options.level_path, options.level_given);
      status >= 0)
    return status;
  // SIGINT, SIGTERM and SIGHUP (the terminal or the SSH session that started
  // the server closed) all end the game properly, every player told at once.
  // SIGUSR2, which holds morvane-bot's players still, means nothing here, and
  // a log reader that goes away (SIGPIPE) must not take the game with it.
  platform::install_stop_signals({.ignore_user2 = true});
  install_state_report();
  auto host = std::make_unique<GameCore>();
  host->session.open_router_port = options.open_port;
  if (!open_server_game(*host, options.name, {options.port, platform::kDiscoveryPort, 0}, *level)) {
    std::fprintf(stderr, "morvane-server: cannot host the game: UDP port %u cannot be opened.\n",
                 options.port);
    release_directplay(*host);
    return 1;
  }
  ServerLog log;
  log.quiet_kills = options.quiet_kills;
  watch_host(log, *host);
  const uint32_t seed = chosen_seed(options.seed_given, options.seed);
  auto seats = std::make_unique<ComputerSeats>();
  start_computer_seats(*seats, *host, options.bots, options.skill, seed, *level);
  log_start(options, *host);
  platform::ListAnnouncer* announcer = start_announcing(options);
  serve(*host, *seats, log, options, announcer);
  // The lists drop the game at once rather than a minute after its last
  // announcement; one that does not answer in time holds the stop back no
  // longer.
  if (announcer) platform::withdraw_from_lists(*announcer, kWithdrawWaitMs);
  platform::release_list_announcer(announcer);
  log_scores(*host);
  log_line("stop: %s: the game is closed, every player told",
           platform::stop_signal_name(platform::stop_signal));
  close_server_game(*host, *seats);
  return 0;
}
