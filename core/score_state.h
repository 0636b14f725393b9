// The score table's state: every player's kills and deaths as the host
// counted them, and the round trip of each player's connection to the host
// (net/score.h keeps and shows it). One entry per seat of the player table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// One player's line of the table, as the score message carries it.
struct ScoreRow {
  uint32_t player_id = 0;  // 0: an empty row
  int32_t kills = 0;
  int32_t deaths = 0;
  uint32_t round_trip_ms = 0;  // the player's connection to the host; 0 for the host's own
};
inline constexpr std::size_t kScoreRows = 8;

struct ScoreState {
  // Entry i belongs to player_table[i] while its player_id is that slot's;
  // an entry left by a departed player counts as an empty score.
  std::array<ScoreRow, kScoreRows> by_slot{};
  // Host: the rows the others were last told, and when the round trips
  // were last read (frame-timer milliseconds).
  std::array<ScoreRow, kScoreRows> last_sent{};
  double round_trips_read_ms = 0;
  bool round_trips_read = false;
};
