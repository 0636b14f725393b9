#include "world/entry.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <limits>

#include "core/world_state.h"

namespace {

constexpr double kDegrees = 180.0 / 3.14159265358979323846;

// Tanks a place is judged against: those in play, and the places of
// players thought to enter before this one.
struct Taken {
  std::array<EntryPlace, kMaxPlayers> places{};
  std::size_t count = 0;

  void add(const EntryPlace& place) {
    if (count < places.size()) places[count++] = place;
  }
};

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

// The ground distance from the place to the nearest taken one; infinite
// when none is.
float clearance(const Taken& taken, const EntryPlace& place) {
  float nearest = std::numeric_limits<float>::infinity();
  for (std::size_t i = 0; i < taken.count; ++i) {
    const float d = std::hypot(taken.places[i].x - place.x, taken.places[i].z - place.z);
    if (d < nearest) nearest = d;
  }
  return nearest;
}

// The candidate farthest from the nearest taken place; the first of equals.
EntryPlace farthest(const LevelTable& level, const Taken& taken) {
  EntryPlace best{};
  float best_clearance = -1.0f;
  for (int32_t n = 0; n < candidate_count(level); ++n) {
    const EntryPlace place = candidate(level, n);
    const float c = clearance(taken, place);
    if (c > best_clearance) {
      best = place;
      best_clearance = c;
    }
  }
  return best;
}

// The heading from the place toward the origin, 0..360 (heading 0 points
// along +z, 90 along +x); 0 at the origin itself.
float facing_the_origin(const EntryPlace& place) {
  if (place.x == 0.0f && place.z == 0.0f) return 0.0f;
  const double heading = std::atan2(-static_cast<double>(place.x), -static_cast<double>(place.z)) * kDegrees;
  return static_cast<float>(heading < 0.0 ? heading + 360.0 : heading);
}

}  // namespace

EntryPlace choose_entry_place(const WorldState& world) {
  const uint32_t own_id = world.tank.local_player_id;
  bool alone = true;
  int32_t ahead = 0;  // players out of play taken to enter first
  Taken taken;
  for (const PlayerSlot& slot : world.player_table) {
    if (!someone_else(slot, own_id)) continue;
    alone = false;
    if (slot.in_play) taken.add(EntryPlace{slot.x, slot.y, slot.z});
    if (!slot.in_play && slot.player_id > own_id) ++ahead;
  }
  if (alone) return EntryPlace{};
  // Those with higher ids enter first, one after another, each at the place
  // it would choose. (Higher, since the lowest id is the game's creator,
  // who may sit at the entry prompt for good, as a dedicated server does.)
  for (int32_t i = 0; i < ahead; ++i) taken.add(farthest(world.level, taken));
  return farthest(world.level, taken);
}

void place_at_entry(WorldState& world) {
  const EntryPlace place = choose_entry_place(world);
  LocalTank& tank = world.tank;
  tank.x = place.x;
  tank.y = place.y;
  tank.z = place.z;
  tank.speed = 0;
  tank.hull_heading = tank.turret_heading = facing_the_origin(place);
  tank.gun_pitch = 0;
}
