#include "net/score.h"

#include "core/game_core.h"
#include "world/input.h"
#include "world/simulation_sends.h"

namespace {

// The slot's entry, started afresh when it still holds a departed player's
// score (a new player took the seat).
ScoreRow& entry_of_slot(GameCore& game, std::size_t index) {
  ScoreRow& entry = game.score.by_slot[index];
  const uint32_t id = game.world.player_table[index].player_id;
  if (entry.player_id != id) entry = ScoreRow{id, 0, 0, 0};
  return entry;
}

// The slot of an active player, or kMaxPlayers.
std::size_t active_slot_of(const GameCore& game, uint32_t player_id) {
  for (std::size_t i = 0; i < kMaxPlayers; ++i) {
    const PlayerSlot& slot = game.world.player_table[i];
    if (slot.active && slot.player_id == player_id) return i;
  }
  return kMaxPlayers;
}

// More kills first, then fewer deaths.
bool ranks_before(const ScoreRow& a, const ScoreRow& b) {
  if (a.kills != b.kills) return a.kills > b.kills;
  return a.deaths < b.deaths;
}

}  // namespace

void read_round_trips(GameCore& game) {
  const Transport& transport = game.protocol.transport;
  for (std::size_t i = 0; i < kMaxPlayers; ++i) {
    const PlayerSlot& slot = game.world.player_table[i];
    if (!slot.active) continue;
    uint32_t round_trip = 0;
    if (slot.player_id != game.world.tank.local_player_id && transport.round_trip_ms)
      round_trip = transport.round_trip_ms(transport.context, slot.player_id);
    entry_of_slot(game, i).round_trip_ms = round_trip;
  }
}

void take_score_row(GameCore& game, const ScoreRow& row) {
  if (row.player_id == 0) return;
  const std::size_t index = active_slot_of(game, row.player_id);
  if (index < kMaxPlayers) game.score.by_slot[index] = row;
}

int record_kill(GameCore& game, uint32_t victim_id, uint32_t killer_id) {
  const std::size_t victim = active_slot_of(game, victim_id);
  if (victim < kMaxPlayers) ++entry_of_slot(game, victim).deaths;
  // A shooter who has left the game meanwhile is credited with nothing.
  const std::size_t killer = active_slot_of(game, killer_id);
  if (killer < kMaxPlayers && killer_id != victim_id) ++entry_of_slot(game, killer).kills;
  return 1;
}

ScoreRow score_of_slot(const GameCore& game, std::size_t index) {
  const PlayerSlot& slot = game.world.player_table[index];
  if (!slot.active) return ScoreRow{};
  const ScoreRow& entry = game.score.by_slot[index];
  return entry.player_id == slot.player_id ? entry : ScoreRow{slot.player_id, 0, 0, 0};
}

std::size_t score_lines(const GameCore& game, std::array<ScoreLine, kMaxPlayers>& lines) {
  // Seats are taken in order and each placed by insertion, so equal scores
  // keep the seat order.
  std::size_t count = 0;
  for (std::size_t i = 0; i < kMaxPlayers; ++i) {
    const PlayerSlot& slot = game.world.player_table[i];
    if (!slot.active) continue;
    const ScoreLine line{&slot, score_of_slot(game, i), slot.player_id == game.world.tank.local_player_id};
    std::size_t at = count++;
    for (; at > 0 && ranks_before(line.score, lines[at - 1].score); --at) lines[at] = lines[at - 1];
    lines[at] = line;
  }
  return count;
}

bool score_table_shown(const GameCore& game) {
  return networking_on(game.settings) && game.world.in_session && key_down(game.input, kScanTab);
}
