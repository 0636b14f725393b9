#include "world/entry.h"

#include <cmath>
#include <cstddef>
#include <limits>

#include "core/world_state.h"

namespace {

// Candidate n: 0 is the origin, 1.. the level's places.
EntryPlace candidate(const LevelTable& level, int32_t n) {
  return n == 0 ? EntryPlace{} : level.entries[static_cast<std::size_t>(n - 1)];
}

int32_t candidate_count(const LevelTable& level) {
  const int32_t listed = level.entry_count;
  const auto most = static_cast<int32_t>(kEntryPlaceCount);
  return 1 + (listed < 0 ? 0 : listed > most ? most : listed);
}

bool someone_else(const PlayerSlot& slot, uint32_t own_id) {
  return slot.active && slot.player_id != own_id;
}

// The ground distance from the place to the nearest other tank in play;
// infinite when none is.
float clearance(const WorldState& world, const EntryPlace& place) {
  float nearest = std::numeric_limits<float>::infinity();
  for (const PlayerSlot& slot : world.player_table) {
    if (!someone_else(slot, world.tank.local_player_id) || !slot.in_play) continue;
    const float d = std::hypot(slot.x - place.x, slot.z - place.z);
    if (d < nearest) nearest = d;
  }
  return nearest;
}

}  // namespace

EntryPlace choose_entry_place(const WorldState& world) {
  const LevelTable& level = world.level;
  const uint32_t own_id = world.tank.local_player_id;
  bool alone = true;
  for (const PlayerSlot& slot : world.player_table) alone = alone && !someone_else(slot, own_id);
  const int32_t count = candidate_count(level);
  if (alone || count == 1) return EntryPlace{};

  int32_t best = 0;
  float best_clearance = -1.0f;
  for (int32_t n = 0; n < count; ++n) {
    const float c = clearance(world, candidate(level, n));
    if (c > best_clearance) {
      best = n;
      best_clearance = c;
    }
  }
  if (std::isinf(best_clearance)) best = static_cast<int32_t>(own_id % static_cast<uint32_t>(count));
  return candidate(level, best);
}

void place_at_entry(WorldState& world) {
  const EntryPlace place = choose_entry_place(world);
  LocalTank& tank = world.tank;
  tank.x = place.x;
  tank.y = place.y;
  tank.z = place.z;
  tank.speed = 0;
  tank.hull_heading = tank.turret_heading = tank.gun_pitch = 0;
}
