#include "server/computer_seats.h"

#include <chrono>
#include <cstdio>

#include "net/session.h"
#include "server/server_log.h"
#include "core/game_core.h"

namespace {

// A join that failed, or a player that gave its seat up, waits this long
// before the next join begins, so that a game filling and emptying does not
// make them come and go every frame.
constexpr double kJoinPauseMs = 1000.0;
constexpr int32_t kGameSeats = 8;

// The loopback's broadcast address: every host on this machine answers it,
// and the join picks the server's own game by its instance.
constexpr uint32_t kLoopbackBroadcast = 0x7FFFFFFF;

void begin_join(ComputerSeats& seats, ComputerSeat& seat, const GameCore& host) {
  seat.player = std::make_unique<BotPlayer>();
  BotSetup setup;
  setup.name = seat.name;
  setup.skill = seats.skill;
  setup.seed = seats.seed + seats.joins++ * 7919u;
  setup.level = seats.level;
  setup.ports = seats.ports;
  setup.enumeration_ms = seats.enumeration_ms;
  if (!prepare_bot(*seat.player, setup)) {
    log_line("bot: %s cannot start: the network cannot be started", seat.name);
    leave_game(*seat.player);
    seat.player.reset();
    return;
  }
  const platform::SessionInstance instance = platform::hosted_instance(host.session.peer);
  seat.state = ComputerSeat::State::Joining;
  seat.join_done = false;
  seat.joiner = std::thread([&seat, instance] {
    seat.join_failure = join_game(*seat.player, &instance);
    seat.join_done = true;
  });
}

void end_join(ComputerSeats& seats, ComputerSeat& seat, GameCore& host, double now_ms) {
  seat.joiner.join();
  if (seat.join_failure) {
    log_line("bot: %s could not join: %s", seat.name, seat.join_failure);
    leave_game(*seat.player);
    seat.state = ComputerSeat::State::Empty;
    seats.next_join_ms = now_ms + kJoinPauseMs;
    return;
  }
  seat.state = ComputerSeat::State::Playing;
  platform::set_seat_yields(host.session.peer, seat.player->game.world.tank.local_player_id, true);
}

bool joining(const ComputerSeats& seats) {
  for (const ComputerSeat& seat : seats.seats)
    if (seat.state == ComputerSeat::State::Joining) return true;
  return false;
}

int32_t seats_held(const ComputerSeats& seats) {
  int32_t held = 0;
  for (const ComputerSeat& seat : seats.seats) held += seat.state != ComputerSeat::State::Empty;
  return held;
}

}  // namespace

void start_computer_seats(ComputerSeats& seats, const GameCore& host, int32_t wanted, int32_t skill,
                          uint32_t seed, const LevelTable& level) {
  seats.wanted = wanted < 0 ? 0 : (wanted > kMaxServerBots ? kMaxServerBots : wanted);
  seats.skill = skill;
  seats.seed = seed;
  seats.level = &level;
  seats.ports = host.session.ports;
  seats.ports.broadcast_override = kLoopbackBroadcast;
  const BotOptions built_in_names{};
  for (std::size_t i = 0; i < seats.seats.size(); ++i)
    computer_player_name(built_in_names, seed, static_cast<int32_t>(i), seats.seats[i].name);
}

void run_computer_seats(ComputerSeats& seats, GameCore& host, double frame_start_ms) {
  for (ComputerSeat& seat : seats.seats) {
    if (seat.state == ComputerSeat::State::Joining && seat.join_done)
      end_join(seats, seat, host, frame_start_ms);
    if (seat.state != ComputerSeat::State::Playing) continue;
    seat.player->game.world.frames_per_second = host.world.frames_per_second;
    if (run_bot_frame(*seat.player, frame_start_ms)) continue;
    // Its connection has ended: the host gave its seat to a person.
    log_line("bot: %s gave its seat up", seat.name);
    leave_game(*seat.player);
    seat.state = ComputerSeat::State::Empty;
    seats.next_join_ms = frame_start_ms + kJoinPauseMs;
  }
  if (seats_held(seats) >= seats.wanted || joining(seats) || frame_start_ms < seats.next_join_ms) return;
  if (platform::seats_taken(host.session.peer) >= kGameSeats) return;
  for (std::size_t i = 0; i < seats.seats.size() && static_cast<int32_t>(i) < seats.wanted; ++i) {
    if (seats.seats[i].state != ComputerSeat::State::Empty) continue;
    begin_join(seats, seats.seats[i], host);
    return;
  }
}

int32_t computer_players(const ComputerSeats& seats) {
  int32_t playing = 0;
  for (const ComputerSeat& seat : seats.seats) playing += seat.state == ComputerSeat::State::Playing;
  return playing;
}

void keep_computer_seats_alive(ComputerSeats& seats) {
  for (ComputerSeat& seat : seats.seats)
    if (seat.state == ComputerSeat::State::Playing) keep_session_alive(seat.player->game);
}

void finish_computer_joins(ComputerSeats& seats, GameCore& host) {
  for (ComputerSeat& seat : seats.seats) {
    if (seat.state != ComputerSeat::State::Joining) continue;
    while (!seat.join_done) {
      keep_session_alive(host);
      keep_computer_seats_alive(seats);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    end_join(seats, seat, host, 0);
  }
}

void stop_computer_seats(ComputerSeats& seats) {
  for (ComputerSeat& seat : seats.seats) {
    if (seat.state == ComputerSeat::State::Playing) leave_game(*seat.player);
    seat.state = ComputerSeat::State::Empty;
  }
}
