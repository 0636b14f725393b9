// The score: every player's kills and deaths, kept by the host, which judges
// every hit, and the round trip of each player's connection to it, one
// entry per seat of the player table. The host tells every program the
// table whenever it changes (the score message, in net/protocol.h); here is
// what the table holds and how it is shown.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/score_state.h"
#include "core/world_state.h"

struct GameCore;

// How often the host reads the round trips again.
inline constexpr double kRoundTripRefreshMs = 1000.0;

// One line of the table as it is shown: a player in the game with its score.
struct ScoreLine {
  const PlayerSlot* slot = nullptr;
  ScoreRow score{};
  bool local = false;  // this program's own player
};

// Host: reads every player's round trip into the table.
void read_round_trips(GameCore& game);
// A client: one row of the host's table, for the player with its id; a row
// of a player this program does not hold in its table is ignored.
void take_score_row(GameCore& game, const ScoreRow& row);

// The players in the game with their scores, most kills first, then fewest
// deaths, then in seat order. Returns how many lines were filled.
std::size_t score_lines(const GameCore& game, std::array<ScoreLine, kMaxPlayers>& lines);
// The score of the player in a slot; empty for a slot without a player.
ScoreRow score_of_slot(const GameCore& game, std::size_t index);

// Whether the table is shown over the picture: Tab held in a network game.
bool score_table_shown(const GameCore& game);
