#include "battle.h"

#include <cmath>
#include <string>

#include "core/game.h"
#include "net/message_log.h"

void shape_level(LevelTable& level, const LevelTable& shipped, int32_t boxes) {
  level = shipped;
  if (boxes < 0) return;
  const auto wanted = static_cast<std::size_t>(boxes) < kLevelObjectCount ? static_cast<std::size_t>(boxes)
                                                                          : kLevelObjectCount;
  for (std::size_t i = wanted; i < kLevelObjectCount; ++i) level.objects[i] = LevelObject{};
  // Crates 1 x 1.5 x 1 on the floor, 16 to a row, rows 4 apart going away.
  for (std::size_t i = static_cast<std::size_t>(shipped.count); i < wanted; ++i) {
    LevelObject& crate = level.objects[i];
    const std::size_t n = i - static_cast<std::size_t>(shipped.count);
    crate = LevelObject{};
    crate.in_use = crate.solid = 1;
    crate.kind = LEVEL_KIND_QUAD;
    crate.x = -31.0f + 4.0f * static_cast<float>(n % 16);
    crate.y = -1;
    crate.z = 12.0f + 4.0f * static_cast<float>(n / 16);
    crate.size_x = crate.size_z = 1;
    crate.size_y = 1.5f;
    crate.tex_scale_x = crate.tex_scale_y = crate.tex_scale_z = 0.25f;
    crate.texture = 5;
    crate.texture_mode = 1;
  }
  level.count = static_cast<int32_t>(wanted < kLevelObjectCount ? wanted : kLevelObjectCount - 1);
}

void populate_battle(Game& game, const BattleLoad& load) {
  WorldState& world = game.world;
  world.player_table = {};
  world.projectile_table = {};
  world.particle_pool = {};
  world.tank = LocalTank{};
  world.camera = Camera{};
  game.settings.particles_enabled = 1;
  world.in_session = 1;
  world.camera.camera_y = -0.2f;
  world.tank.in_play = load.tanks > 0 ? 1 : 0;
  world.tank.local_player_id = 1;
  world.tank.health = 100;
  for (int32_t i = 0; i < load.tanks && i < static_cast<int32_t>(kMaxPlayers); ++i) {
    PlayerSlot& slot = world.player_table[static_cast<std::size_t>(i)];
    slot.active = slot.in_play = 1;
    slot.health = 100;
    slot.player_id = static_cast<uint32_t>(i + 1);  // slot 0 is the local player
    slot.x = -6.0f + 2.0f * static_cast<float>(i);
    slot.z = 8.0f + 3.0f * static_cast<float>(i % 3);
    slot.hull_heading = 45.0f * static_cast<float>(i);
    slot.turret_heading = 30.0f * static_cast<float>(i);
  }
  for (int32_t i = 0; i < load.shells && i < static_cast<int32_t>(kProjectileCount); ++i) {
    Projectile& shot = world.projectile_table[static_cast<std::size_t>(i)];
    const float f = static_cast<float>(i);
    shot.active = 1;
    shot.x = -8.0f + 0.0625f * f;
    shot.y = 0.5f * std::sin(f);
    shot.z = 4.0f + static_cast<float>(i % 16);
    shot.heading = 22.5f * static_cast<float>(i % 16);
    shot.vx = 0.5f * std::sin(f);
    shot.vz = 0.5f * std::cos(f);
    shot.owner_id = static_cast<uint32_t>(i % 8 + 1);
    shot.hitscan = load.hitscan_every > 0 && i % load.hitscan_every == 0;
  }
  for (int32_t i = 0; i < load.puffs && i < static_cast<int32_t>(kParticleCount); ++i) {
    Particle& puff = world.particle_pool[static_cast<std::size_t>(i)];
    const float f = static_cast<float>(i);
    puff.active = 1;
    puff.x = -10.0f + 0.02f * f;
    puff.y = 0.3f * std::cos(f);
    puff.z = 3.0f + static_cast<float>(i % 25);
    puff.vx = 0.01f;
    puff.vz = 0.02f;
    puff.view_distance = 100;
    puff.red = puff.green = puff.blue = 1;
    puff.life = 0.5f;
  }
}

void add_fill_load(Game& game) {
  LevelTable& level = game.world.level;
  if (level.count < 0 || static_cast<std::size_t>(level.count) >= kLevelObjectCount) return;
  // One unit ahead of the start-up eye and wide enough to fill the 45-degree view.
  LevelObject& pane = level.objects[static_cast<std::size_t>(level.count++)];
  pane = LevelObject{};
  pane.in_use = pane.solid = pane.translucent = 1;
  pane.kind = LEVEL_KIND_QUAD;
  pane.x = -4;
  pane.y = -3.2f;
  pane.z = 1;
  pane.size_x = pane.size_y = 8;
  pane.size_z = 0.1f;
  pane.tex_scale_x = pane.tex_scale_y = pane.tex_scale_z = 1;
  pane.texture = 2;
  const std::string source(30, 'S'), text(47, 'w');  // "source: text" is 79 characters
  for (int i = 0; i < 3; ++i) add_log_entry(game.log, LOG_CHAT, text.c_str(), source.c_str());
  add_log_entry(game.log, LOG_EVENT, text.c_str(), source.c_str());
}
