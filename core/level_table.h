// The level's table: up to 256 axis-aligned boxes, as read from the level
// file (world/level.h reads it).
#pragma once

#include <array>
#include <cstdint>

inline constexpr int32_t LEVEL_KIND_QUAD = 0;
inline constexpr int32_t LEVEL_KIND_LIFT = 3;
inline constexpr int32_t LEVEL_KIND_OTHER = 65536;  // collides, never drawn

enum LiftState : int32_t {
  LIFT_DOWN = 0,
  LIFT_RISING = 1,
  LIFT_UP = 2,
  LIFT_DESCENDING = 3,
};

struct LevelObject {
  int32_t in_use = 0;
  int32_t kind = 0;
  float x = 0, y = 0, z = 0;  // lowest corner; a lift's y changes every frame
  float size_x = 0, size_y = 0, size_z = 0;
  float tex_scale_x = 0, tex_scale_y = 0, tex_scale_z = 0;  // 1 / tile size
  int32_t texture = 0;
  int32_t solid = 0;
  int32_t translucent = 0;
  int32_t texture_mode = 0;  // 1: tiles by world position; else once per face
  float lift_speed = 0;      // per step while moving
  float lift_travel = 0;
  float lift_base_y = 0;
  int32_t lift_pillar = 0;
  int32_t lift_state = LIFT_DOWN;
};

inline constexpr std::size_t kLevelObjectCount = 256;

// A place where a tank may enter play: its reference point, heading 0.
struct EntryPlace {
  float x = 0, y = 0, z = 0;
};

inline constexpr std::size_t kEntryPlaceCount = 16;

struct LevelTable {
  std::array<LevelObject, kLevelObjectCount> objects{};
  int32_t count = 0;  // slots filled; never above 255 (the last slot is reused)
  // The places the level names for entering besides the origin, which is
  // always one; the first 16 inside the level's cube.
  std::array<EntryPlace, kEntryPlaceCount> entries{};
  int32_t entry_count = 0;
};
