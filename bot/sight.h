// What a computer player knows of the level: whether a straight line
// between two points passes through solid boxes, and the open ground it can
// drive about on.
#pragma once

#include <array>
#include <cstdint>

#include "world/level.h"

struct Spot {
  float x = 0, y = 0, z = 0;
};

// True when the segment from a to b enters no solid box. With glass_blocks
// false, translucent boxes (glass) are seen through.
bool line_clear(const LevelTable& level, const Spot& a, const Spot& b, bool glass_blocks);

// True when a tank's body, 2 wide, can drive straight from a to b (tank
// reference points): three lines at its middle height, at its centre and
// near both sides, pass no solid box.
bool drive_clear(const LevelTable& level, const Spot& a, const Spot& b);

inline constexpr std::size_t kMaxWaypoints = 400;

// Places on the floor where tanks enter, with room for a tank all round:
// points of a grid over the level, as tank reference points (1 above the
// floor). Ground under a roof, on a terrace or inside a box is left out.
struct OpenGround {
  std::array<Spot, kMaxWaypoints> points{};
  int32_t count = 0;
  float floor_top = -1.0f;  // the height of the floor tanks enter on
};

void find_open_ground(const LevelTable& level, OpenGround& ground);
