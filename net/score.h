// The score: every player's kills and deaths, kept by the host, which judges
// every hit, and the round trip of each player's connection to it. The host
// tells every program the table whenever it changes (a kill, a player come
// or gone, a round trip that moved when it is measured again, once a
// second); the others only take it. Fixed-size, one entry per seat of the
// player table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/score_state.h"
#include "core/world_state.h"
#include "net/protocol.h"

struct GameCore;

// How often the host reads the round trips again.
inline constexpr double kRoundTripRefreshMs = 1000.0;

// One line of the table as it is shown: a player in the game with its score.
struct ScoreLine {
  const PlayerSlot* slot = nullptr;
  ScoreRow score{};
  bool local = false;  // this program's own player
};

// Host: the score of the table as it now stands, every seat in order.
ScoreMessage current_score_table(const GameCore& game);
// Host, every frame: reads the round trips when they are due and sends the
// table to every player when it differs from the one last sent.
void send_score_table(GameCore& game);
// A client: the host's table; rows of players this program does not hold
// in its table are ignored.
void take_score_table(GameCore& game, const ScoreMessage& message);

// The players in the game with their scores, most kills first, then fewest
// deaths, then in seat order. Returns how many lines were filled.
std::size_t score_lines(const GameCore& game, std::array<ScoreLine, kMaxPlayers>& lines);
// The score of the player in a slot; empty for a slot without a player.
ScoreRow score_of_slot(const GameCore& game, std::size_t index);

// Whether the table is shown over the picture: Tab held in a network game.
bool score_table_shown(const GameCore& game);
