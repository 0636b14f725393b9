// The server's computer players: up to a wanted number of them in the game,
// each an ordinary client of the server's own host over the loopback (as
// morvane-bot plays), run in the server's loop. Each seat they hold yields
// to a person: when a person joins a full game, the host drops one of them
// at once to make room, and when seats come free again they come back.
//
// A join waits for the host's answers, so it runs on a thread of its own
// while the server's loop goes on serving the host and the other players;
// that thread touches only the joining player's game.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "bot/bot_player.h"
#include "server/options.h"

struct ComputerSeat {
  enum class State { Empty, Joining, Playing };
  State state = State::Empty;
  std::unique_ptr<BotPlayer> player;
  char name[kPlayerNameSize] = {};
  std::thread joiner;
  std::atomic<bool> join_done{false};
  const char* join_failure = nullptr;  // set by the joiner before join_done
};

struct ComputerSeats {
  std::array<ComputerSeat, kMaxServerBots> seats{};
  int32_t wanted = 0;
  int32_t skill = 2;
  uint32_t seed = 1;
  uint32_t joins = 0;  // every join begun, for each its own seed
  const LevelTable* level = nullptr;
  platform::SessionPorts ports{};
  uint32_t enumeration_ms = 300;
  double next_join_ms = 0;  // no join begins before then (after a failure, a departure)
};

// Readies `wanted` seats for the host's game; nobody joins before the first
// run_computer_seats.
void start_computer_seats(ComputerSeats& seats, const GameCore& host, int32_t wanted, int32_t skill,
                          uint32_t seed, const LevelTable& level);

// Once a frame, after the host's frame: every computer player's frame, the
// ends of joins, and a new join when one is missing and a seat is free.
void run_computer_seats(ComputerSeats& seats, GameCore& host, double frame_start_ms);

// Computer players in the game.
int32_t computer_players(const ComputerSeats& seats);

// Keeps the session of every computer player in the game served.
void keep_computer_seats_alive(ComputerSeats& seats);

// Waits for a join under way to end, keeping the host and the players
// served meanwhile.
void finish_computer_joins(ComputerSeats& seats, GameCore& host);
// Takes every computer player out of the game and frees its session.
void stop_computer_seats(ComputerSeats& seats);
