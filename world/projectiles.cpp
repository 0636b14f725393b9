#include "world/projectiles.h"

#include <array>
#include <cstdio>

#include "core/game_core.h"
#include "world/heading.h"
#include "world/simulation_sends.h"

namespace {

constexpr float kShellSpeed = 0.5f;   // horizontal, per step
constexpr float kMuzzleDrop = 0.4f;   // below the tank's reference point
constexpr int32_t kDamagePerHit = 50;
constexpr float kLevelBound = 100.0f;  // projectiles live inside -100..100 on every axis

constexpr float kTrailSpeed = 0.02f;
constexpr float kTrailViewDistance = 16.0f;
constexpr float kParticleAgeing = 0.02f;  // life lost per frame

// A hitscan projectile repeats its pass while it stays active. One that this
// program can never end (it is not the host, or the shell does not move)
// would repeat forever, so a step gives it at most this many passes: enough
// to cross the whole level cube at the shell speed even at a step of 0.1.
// On the host, a hitscan shell still flying after them is ended.
constexpr int kMaxHitscanPasses = 4096;

// The trail's heading as a whole number of degrees, truncated; a heading
// from another program that is no number or far out of range gives 0.
int32_t whole_degrees(float heading) {
  if (!(heading > -1.0e9f && heading < 1.0e9f)) return 0;
  return static_cast<int32_t>(heading);
}

// A position that is no number (a garbled shot from another program) counts
// as outside, so such a shell ends instead of flying forever.
bool inside_level(float coordinate) {
  return coordinate >= -kLevelBound && coordinate <= kLevelBound;
}

// The solid boxes' extents side by side, gathered once per frame (the level
// does not change while projectiles move), so a pass tests them all in one
// loop of fixed length that the compiler turns into vector code. The far
// edges are the same sums the box's own fields give; unused places hold
// empty ranges that hold nothing.
struct SolidBoxes {
  std::array<float, kLevelObjectCount> x0, x1, y0, y1, z0, z1;
  std::size_t count = 0;
};

void gather_solid_boxes(const LevelTable& level, SolidBoxes& boxes) {
  constexpr float kHuge = 3.0e38f;
  boxes.x0.fill(kHuge);
  boxes.y0.fill(kHuge);
  boxes.z0.fill(kHuge);
  boxes.x1.fill(-kHuge);
  boxes.y1.fill(-kHuge);
  boxes.z1.fill(-kHuge);
  boxes.count = 0;
  for (const LevelObject& box : level.objects) {
    if (!box.in_use || !box.solid) continue;
    const std::size_t i = boxes.count++;
    boxes.x0[i] = box.x;
    boxes.x1[i] = box.x + box.size_x;
    boxes.y0[i] = box.y;
    boxes.y1[i] = box.y + box.size_y;
    boxes.z0[i] = box.z;
    boxes.z1[i] = box.z + box.size_z;
  }
}

// Whether solid box i holds the shell's next position.
inline bool inside_box_ahead(const SolidBoxes& boxes, std::size_t i, float x, float y, float z) {
  return (boxes.y0[i] <= y) & (y < boxes.y1[i]) & (boxes.z0[i] <= z) & (z < boxes.z1[i]) & (boxes.x0[i] < x) &
         (x <= boxes.x1[i]);
}

// A shell ends on every solid box that holds its next position, in index
// order. Only the host ends shells, so other programs skip the test.
void end_on_boxes(GameCore& game, int32_t number, const Projectile& shot, const SolidBoxes& boxes) {
  if (!game.settings.is_host) return;
  const float x = shot.x - shot.vx, y = shot.y, z = shot.z + shot.vz;
  int any = 0;
  for (std::size_t i = 0; i < kLevelObjectCount; ++i) any |= inside_box_ahead(boxes, i, x, y, z);
  if (!any) return;
  for (std::size_t i = 0; i < boxes.count; ++i) {
    if (inside_box_ahead(boxes, i, x, y, z)) send_projectile_gone(game, number);
  }
}

// The tank's hit box: 2 wide, 2 deep, from its reference point 1 down.
bool inside_tank_ahead(const PlayerSlot& tank, const Projectile& shot) {
  return tank.y - 1.0f <= shot.y && shot.y < tank.y && tank.z - 1.0f <= shot.z + shot.vz &&
         shot.z + shot.vz < tank.z + 1.0f && tank.x - 1.0f < shot.x - shot.vx &&
         shot.x - shot.vx <= tank.x + 1.0f;
}

void announce_kill(GameCore& game, const PlayerSlot& victim, uint32_t owner_id) {
  const char* killer = kDepartedKillerName;
  for (const PlayerSlot& slot : game.world.player_table) {
    if (slot.player_id == owner_id) {
      killer = slot.name;
      break;
    }
  }
  const char* verb = kill_verbs[static_cast<std::size_t>(next_random(game)) % kill_verbs.size()];
  char text[kEventTextSize];
  constexpr int kName = static_cast<int>(kPlayerSlotNameSize - 1);
  std::snprintf(text, sizeof text, "%.*s %s %.*s", kName, victim.name, verb, kName, killer);
  send_event_text(game, text);
}

// The host's judgement of the tanks the shell reaches in this pass; every
// tank reached is hit, so one shell can damage two tanks. A tank the host
// has already brought to 0 or below is dead, whatever its last status said
// (a second shell in the same frame, or a status sent before its player
// learned of the kill): shells pass it by, and its death is announced once.
void hit_tanks(GameCore& game, int32_t number, const Projectile& shot) {
  auto& players = game.world.player_table;
  for (std::size_t k = 0; k < players.size(); ++k) {
    const PlayerSlot& tank = players[k];
    if (!tank.active || !tank.in_play || tank.health < 1 || tank.player_id == shot.owner_id) continue;
    if (!inside_tank_ahead(tank, shot)) continue;
    send_projectile_gone(game, number);
    send_damage(game, static_cast<int32_t>(k), kDamagePerHit);
    if (tank.health < 1) {
      record_kill(game, tank.player_id, shot.owner_id);
      announce_kill(game, tank, shot.owner_id);
    }
  }
}

void projectile_pass(GameCore& game, int32_t number, float step, const SolidBoxes& boxes) {
  WorldState& world = game.world;
  Projectile& shot = world.projectile_table[static_cast<std::size_t>(number)];
  end_on_boxes(game, number, shot, boxes);
  if (game.settings.is_host) hit_tanks(game, number, shot);

  shot.x -= shot.vx * step;
  shot.y += shot.vy * step;
  shot.z += shot.vz * step;
  if (!inside_level(shot.x) || !inside_level(shot.y) || !inside_level(shot.z))
    send_projectile_gone(game, number);
  spawn_particle(game, shot.x, shot.y, shot.z, whole_degrees(shot.heading), kTrailSpeed,
                 kTrailViewDistance, 1.0f, 1.0f, 1.0f, 0.0f);
}

// Every puff of a trail needs the direction of a whole-degree heading; the
// extended-precision sine and cosine cost far more than the rest of a puff,
// so the usual headings 0..360 are worked out once, by the same function.
Direction trail_direction(int32_t heading) {
  constexpr int32_t kTabled = 361;
  static const std::array<Direction, kTabled> table = [] {
    std::array<Direction, kTabled> t{};
    for (int32_t h = 0; h < kTabled; ++h) t[static_cast<std::size_t>(h)] = heading_direction(h);
    return t;
  }();
  if (heading >= 0 && heading < kTabled) return table[static_cast<std::size_t>(heading)];
  return heading_direction(heading);
}

}  // namespace

void fire_shell(GameCore& game) {
  const LocalTank& tank = game.world.tank;
  const Direction turret = heading_direction(tank.turret_heading);
  const long double pitch = tank.gun_pitch;
  const float muzzle_rise =
      static_cast<float>(sinl((360.0L - pitch) * static_cast<long double>(kDegreesToRadians)));
  const float climb = static_cast<float>(sinl(-pitch * static_cast<long double>(kDegreesToRadians)));
  send_fire(game, tank.x - turret.sin_a, tank.y - kMuzzleDrop + muzzle_rise, tank.z + turret.cos_a,
            kShellSpeed * turret.sin_a, kShellSpeed * climb, kShellSpeed * turret.cos_a,
            tank.turret_heading, 0, tank.local_player_id);
}

void advance_projectiles(GameCore& game, float step) {
  auto& table = game.world.projectile_table;
  SolidBoxes boxes;
  gather_solid_boxes(game.world.level, boxes);
  for (std::size_t i = 0; i < table.size(); ++i) {
    const int32_t number = static_cast<int32_t>(i);
    if (!table[i].active) continue;
    projectile_pass(game, number, step, boxes);
    int passes = 1;
    while (table[i].hitscan && table[i].active && passes < kMaxHitscanPasses) {
      projectile_pass(game, number, step, boxes);
      ++passes;
    }
    if (table[i].hitscan && table[i].active && passes == kMaxHitscanPasses)
      send_projectile_gone(game, number);
  }
}

int spawn_particle(GameCore& game, float x, float y, float z, int32_t heading, float speed,
                   float view_distance, float red, float green, float blue, float gravity) {
  WorldState& world = game.world;
  if (world.particle_next < 0 || world.particle_next >= static_cast<int32_t>(kParticleCount))
    world.particle_next = 0;
  Particle& puff = world.particle_pool[static_cast<std::size_t>(world.particle_next)];
  const Direction direction = trail_direction(heading);
  puff.x = x;
  puff.y = y;
  puff.z = z;
  puff.vx = direction.sin_a * speed;
  puff.vy = 0.0f;
  puff.vz = direction.cos_a * speed;
  puff.gravity = gravity;
  puff.view_distance = view_distance;
  puff.red = red;
  puff.green = green;
  puff.blue = blue;
  puff.life = 1.0f;
  puff.active = 1;
  world.particle_next += 1;
  if (world.particle_next >= static_cast<int32_t>(kParticleCount)) world.particle_next = 0;
  return 1;
}

void advance_particles(GameCore& game, float step) {
  for (Particle& puff : game.world.particle_pool) {
    if (!puff.active) continue;
    puff.life -= kParticleAgeing;
    puff.vy -= puff.gravity;
    if (puff.life <= 0.0f) puff.active = 0;
    puff.x -= puff.vx * step;
    puff.y += puff.vy * step;
    puff.z += puff.vz * step;
  }
}
