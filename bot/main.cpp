// morvane-bot: computer players that join a game over the network and play
// it like any player, every one of them stepped in one loop at the game's
// frame rate.

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "bot/bot_player.h"
#include "bot/command_line.h"
#include "bot/options.h"
#include "core/frame_timer.h"
#include "net/score.h"
#include "net/session.h"
#include "platform/stop_signals.h"
#include "shell/frame_driver.h"
#include "shell/state_report.h"

namespace {

volatile std::sig_atomic_t g_holding = 0;  // toggled by SIGUSR2 only

extern "C" void toggle_holding(int) { g_holding = !g_holding; }

// SIGINT and SIGTERM stop the players; SIGUSR2 holds every player still,
// with the gun silent, until the next SIGUSR2: a test settles a game this
// way before comparing states.
void install_stop_handlers() {
  platform::install_stop_signals({.hang_up = false, .ignore_broken_pipe = false});
  struct sigaction action{};
  action.sa_handler = toggle_holding;
  sigemptyset(&action.sa_mask);
  sigaction(SIGUSR2, &action, nullptr);
}

struct Seat {
  std::unique_ptr<BotPlayer> player;
  char name[kPlayerNameSize] = {};
  bool playing = false;
};

constexpr int kJoinAttempts = 3;
// The reasons of a join that ran out of time, as the session gives them.
bool timed_out(const char* why) {
  return std::strcmp(why, "The game did not answer.") == 0 ||
         std::strcmp(why, "The host did not take the new player.") == 0;
}

// A join blocks until the host answers, so the players already in the game
// are kept alive from a second thread meanwhile (each thread touches only
// its own players' sessions).
const char* join_keeping_others(std::vector<Seat>& seats, std::size_t joining) {
  std::atomic<bool> done{false};
  std::thread keeper([&] {
    while (!done) {
      for (std::size_t i = 0; i < joining; ++i) keep_session_alive(seats[i].player->game);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  // A lossy link can lose the handshake's packets often enough that a join
  // runs out of time; a game that refuses is not asked again.
  const char* why = "It was stopped before joining.";
  for (int attempt = 0; attempt < kJoinAttempts && !platform::stop_signal; ++attempt) {
    why = join_game(*seats[joining].player);
    if (!why || !timed_out(why)) break;
  }
  done = true;
  keeper.join();
  return why;
}

// Leaves the game and frees the session of every player readied so far.
void leave_all(std::vector<Seat>& seats) {
  for (Seat& seat : seats) {
    if (seat.player) leave_game(*seat.player);
    seat.playing = false;
  }
}

// Every player's frame, then one hold for all of them. Returns when a stop
// is asked or every player has stopped.
void play(std::vector<Seat>& seats) {
  FrameTimer timer{};
  timer_start(timer);
  const bool paced = frames_paced();
  int32_t frames_per_second = seats[0].player->game.world.frames_per_second;
  // Every player's tank is this program's own; the first player's view of
  // the game stands for the program's.
  std::vector<const GameCore*> own_games;
  for (const Seat& seat : seats) own_games.push_back(&seat.player->game);
  while (!platform::stop_signal) {
    const double frame_start = now_ms(timer);
    int playing = 0;
    for (Seat& seat : seats) {
      if (!seat.playing) continue;
      seat.player->game.world.frames_per_second = frames_per_second;
      seat.player->holding = g_holding != 0;
      if (run_bot_frame(*seat.player, frame_start)) {
        ++playing;
        continue;
      }
      std::printf("%s stops: the host has gone.\n", seat.name);
      std::fflush(stdout);
      leave_game(*seat.player);
      seat.playing = false;
    }
    report_state_if_asked(seats[0].player->game, own_games);
    if (playing == 0) {
      std::printf("Every computer player has stopped.\n");
      return;
    }
    if (paced) hold_frame(timer, frame_start);
    frames_per_second = measure_frames_per_second(now_ms(timer) - frame_start);
  }
}

// The player's own line of the score table as the host last told it.
void print_score(const Seat& seat) {
  const GameCore& game = seat.player->game;
  for (std::size_t i = 0; i < game.world.player_table.size(); ++i) {
    const PlayerSlot& slot = game.world.player_table[i];
    if (!slot.active || slot.player_id != game.world.tank.local_player_id) continue;
    const ScoreRow score = score_of_slot(game, i);
    std::printf("%s scored %d kills and %d deaths (round trip %u ms).\n", seat.name, score.kills,
                score.deaths, score.round_trip_ms);
    return;
  }
}

}  // namespace

int main(int argc, char** argv) {
  BotOptions options;
  char error[256] = {};
  const bool understood = parse_bot_options(argc - 1, argv + 1, options, error, sizeof error);
  auto level = std::make_unique<LevelTable>();
  const ProgramStart start{"morvane-bot", understood, error, options.help, options.version, kBotUsage};
  if (const int status =
          start_program(start, *level, options.level_path, sizeof options.level_path, options.level_given);
      status >= 0)
    return status;
  const uint32_t seed = chosen_seed(options.seed_given, options.seed);
  install_stop_handlers();
  install_state_report();

  std::vector<Seat> seats(static_cast<std::size_t>(options.count));
  for (std::size_t i = 0; i < seats.size(); ++i) {
    Seat& seat = seats[i];
    computer_player_name(options, seed, static_cast<int32_t>(i), seat.name);
    seat.player = std::make_unique<BotPlayer>();
    BotSetup setup;
    setup.name = seat.name;
    setup.skill = options.skill;
    setup.seed = seed + static_cast<uint32_t>(i) * 7919u;
    setup.address = options.address;
    setup.level = level.get();
    if (!prepare_bot(*seat.player, setup)) {
      std::fprintf(stderr, "morvane-bot: the network cannot be started.\n");
      leave_all(seats);
      return 1;
    }
  }
  // The game's messages, as the game prints them, from the first player only.
  seats[0].player->game.log.echo = true;

  std::size_t joined = 0;
  for (; joined < seats.size() && !platform::stop_signal; ++joined) {
    if (const char* why = join_keeping_others(seats, joined)) {
      std::fprintf(stderr, "morvane-bot: %s could not join: %s\n", seats[joined].name, why);
      break;
    }
    seats[joined].playing = true;
    const GameCore& game = seats[joined].player->game;
    std::printf("%s is in %s.\n", seats[joined].name, game.session.session_list[0].session_name);
    std::fflush(stdout);
  }
  if (joined == 0) {
    leave_all(seats);
    return platform::stop_signal ? 0 : 1;
  }
  // A game that filled up (or refused) part way: those in it play on, and
  // the others' sessions are freed.
  if (joined < seats.size()) {
    for (std::size_t i = joined; i < seats.size(); ++i) leave_game(*seats[i].player);
    seats.resize(joined);
    if (!platform::stop_signal) {
      std::fprintf(stderr, "morvane-bot: the %zu that joined play on.\n", joined);
      std::fflush(stderr);
    }
  }
  if (!platform::stop_signal) play(seats);
  for (const Seat& seat : seats) {
    std::printf("%s fired %d shots.\n", seat.name, seat.player->shots_fired);
    print_score(seat);
  }
  leave_all(seats);
  std::fflush(stdout);
  return 0;
}
