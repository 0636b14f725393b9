// The benchmarks' battle: the shipped level grown or cut to a number of
// boxes, and a chosen number of tanks, shells and smoke puffs in front of
// the start-up camera.
#pragma once

#include <cstdint>

struct Game;
struct LevelTable;

struct BattleLoad {
  int32_t tanks = 0;   // 0: none at all; 1: the local tank alone; n: it and n - 1 others
  int32_t shells = 0;
  int32_t puffs = 0;
  int32_t boxes = -1;  // -1: the level as shipped
  int32_t hitscan_every = 0;  // every n-th shell is hitscan; 0: none
};

inline constexpr BattleLoad kWorstCase{8, 256, 1000, -1, 0};

// The level as shipped, cut to its first `boxes` objects or grown with rows
// of crates ahead of the camera (a negative count keeps it as it is).
void shape_level(LevelTable& level, const LevelTable& shipped, int32_t boxes);
// Clears every table and fills them as the load says; the level is left alone.
void populate_battle(Game& game, const BattleLoad& load);
// The fill worst case on top of a populated battle: a glass pane within the
// local tank's reach covering the whole view (the frame's slow path, a
// full-screen translucent layer), three full 79-character message lines and
// a 79-character event in the middle of the screen.
void add_fill_load(Game& game);
