#include "bot/sight.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kFeet = 1.0f;        // a tank's reference point is this far above its bottom
constexpr float kBodyMiddle = 0.5f;   // below a tank's reference point
constexpr float kSideLine = 0.9f;     // the side lines, just inside the tank's sides
constexpr float kFloorMatch = 0.02f;  // ground this close to the floor counts as floor
constexpr float kClearance = 2.5f;    // half the side of the empty square round a waypoint
constexpr float kClearHeight = 3.0f;  // how high above the floor that square must be empty
constexpr float kGridSpacing = 6.0f;
constexpr float kLevelBound = 100.0f;

// The part of the segment a + t (b - a), t in 0..1, that lies inside one
// slab lo..hi of an axis, narrowed into [t0, t1]. False once it is empty.
bool clip_to_slab(float a, float d, float lo, float hi, float& t0, float& t1) {
  if (d == 0.0f) return a > lo && a < hi;
  float near = (lo - a) / d;
  float far = (hi - a) / d;
  if (near > far) std::swap(near, far);
  t0 = std::max(t0, near);
  t1 = std::min(t1, far);
  return t0 < t1;
}

bool segment_enters(const LevelObject& box, const Spot& a, const Spot& b) {
  float t0 = 0.0f, t1 = 1.0f;
  return clip_to_slab(a.x, b.x - a.x, box.x, box.x + box.size_x, t0, t1) &&
         clip_to_slab(a.y, b.y - a.y, box.y, box.y + box.size_y, t0, t1) &&
         clip_to_slab(a.z, b.z - a.z, box.z, box.z + box.size_z, t0, t1);
}

bool covers(const LevelObject& box, float x, float z) {
  return x >= box.x && x <= box.x + box.size_x && z >= box.z && z <= box.z + box.size_z;
}

// The top of the highest solid box over the point, at most `ceiling`; false
// when there is none.
bool highest_top(const LevelTable& level, float x, float z, float ceiling, float& top) {
  bool found = false;
  for (const LevelObject& box : level.objects) {
    if (!box.in_use || !box.solid || !covers(box, x, z)) continue;
    const float box_top = box.y + box.size_y;
    if (box_top > ceiling || (found && box_top <= top)) continue;
    top = box_top;
    found = true;
  }
  return found;
}

bool room_for_a_tank(const LevelTable& level, float x, float z, float floor_top) {
  for (const LevelObject& box : level.objects) {
    if (!box.in_use || !box.solid) continue;
    if (box.y + box.size_y <= floor_top + kFloorMatch || box.y >= floor_top + kClearHeight) continue;
    if (box.x < x + kClearance && x - kClearance < box.x + box.size_x && box.z < z + kClearance &&
        z - kClearance < box.z + box.size_z)
      return false;
  }
  return true;
}

}  // namespace

bool line_clear(const LevelTable& level, const Spot& a, const Spot& b, bool glass_blocks) {
  for (const LevelObject& box : level.objects) {
    if (!box.in_use || !box.solid || (box.translucent && !glass_blocks)) continue;
    if (segment_enters(box, a, b)) return false;
  }
  return true;
}

bool drive_clear(const LevelTable& level, const Spot& a, const Spot& b) {
  const float dx = b.x - a.x, dz = b.z - a.z;
  const float length = std::sqrt(dx * dx + dz * dz);
  if (length < 1e-3f) return true;
  // Across the way, in the ground plane.
  const float side_x = -dz / length * kSideLine, side_z = dx / length * kSideLine;
  for (const float side : {0.0f, 1.0f, -1.0f}) {
    const Spot from{a.x + side * side_x, a.y - kBodyMiddle, a.z + side * side_z};
    const Spot to{b.x + side * side_x, b.y - kBodyMiddle, b.z + side * side_z};
    if (!line_clear(level, from, to, true)) return false;
  }
  return true;
}

void find_open_ground(const LevelTable& level, OpenGround& ground) {
  ground.count = 0;
  // The floor tanks drive on is the one under the origin, where a tank
  // alone in the game enters.
  if (!highest_top(level, 0.0f, 0.0f, 0.0f, ground.floor_top)) return;
  float x0 = kLevelBound, x1 = -kLevelBound, z0 = kLevelBound, z1 = -kLevelBound;
  for (const LevelObject& box : level.objects) {
    if (!box.in_use || !box.solid) continue;
    x0 = std::min(x0, box.x);
    x1 = std::max(x1, box.x + box.size_x);
    z0 = std::min(z0, box.z);
    z1 = std::max(z1, box.z + box.size_z);
  }
  x0 = std::max(x0, -kLevelBound);
  z0 = std::max(z0, -kLevelBound);
  x1 = std::min(x1, kLevelBound);
  z1 = std::min(z1, kLevelBound);
  // A wider grid on a level too big for the table.
  float spacing = kGridSpacing;
  while (((x1 - x0) / spacing + 1.0f) * ((z1 - z0) / spacing + 1.0f) > static_cast<float>(kMaxWaypoints))
    spacing *= 1.25f;
  for (float x = x0 + spacing / 2; x < x1; x += spacing) {
    for (float z = z0 + spacing / 2; z < z1; z += spacing) {
      float top = 0.0f;
      if (!highest_top(level, x, z, kLevelBound, top)) continue;
      if (std::fabs(top - ground.floor_top) > kFloorMatch) continue;
      if (!room_for_a_tank(level, x, z, ground.floor_top)) continue;
      if (ground.count >= static_cast<int32_t>(kMaxWaypoints)) return;
      ground.points[static_cast<std::size_t>(ground.count++)] = Spot{x, top + kFeet, z};
    }
  }
}
