#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "core/game.h"
#include "net/protocol.h"
#include "world/heading.h"
#include "world/projectiles.h"
#include "world_test_support.h"

namespace {

// A host with networking off, its own player in slot 0 with id 1.
std::unique_ptr<Game> host_game() {
  auto game = make_game();
  game->settings.is_host = 1;
  game->world.in_session = 1;
  LocalTank& tank = game->world.tank;
  tank.local_player_id = 1;
  tank.in_play = 1;
  tank.health = 100;
  PlayerSlot& own = game->world.player_table[0];
  own.active = own.in_play = 1;
  own.player_id = 1;
  own.health = 100;
  std::strcpy(own.name, "Hostess");
  return game;
}

PlayerSlot& add_player(Game& game, std::size_t slot, uint32_t id, const char* name, float x, float y,
                       float z) {
  PlayerSlot& player = game.world.player_table[slot];
  player.active = player.in_play = 1;
  player.player_id = id;
  player.health = 100;
  std::strcpy(player.name, name);
  player.x = x;
  player.y = y;
  player.z = z;
  return player;
}

// A shell placed straight into the table, flying along +z.
Projectile& place_shell(Game& game, std::size_t number, float x, float y, float z, uint32_t owner) {
  Projectile& shot = game.world.projectile_table[number];
  shot = Projectile{};
  shot.active = 1;
  shot.x = x;
  shot.y = y;
  shot.z = z;
  shot.vz = 0.5f;
  shot.owner_id = owner;
  return shot;
}

TEST(Projectiles, LevelShotFliesHalfAUnitPerStep) {
  for (float step : {1.0f, 0.5f}) {
    auto game = host_game();
    game->world.tank.turret_heading = 90.0f;  // toward +x
    fire_shell(*game);
    Projectile& shot = game->world.projectile_table[0];
    ASSERT_EQ(shot.active, 1);
    EXPECT_EQ(game->world.projectile_next, 1);
    EXPECT_NEAR(shot.x, 1.0f, 1e-6f);  // the muzzle is one unit ahead
    EXPECT_NEAR(shot.y, -0.4f, 1e-6f);
    EXPECT_NEAR(shot.z, 0.0f, 1e-6f);
    EXPECT_EQ(shot.owner_id, 1u);
    EXPECT_FLOAT_EQ(shot.heading, 90.0f);
    advance_projectiles(*game, step);
    EXPECT_NEAR(shot.x, 1.0f + 0.5f * step, 1e-6f);
    EXPECT_NEAR(shot.y, -0.4f, 1e-6f);
  }
}

TEST(Projectiles, RaisedGunClimbsAtAQuarterPerStep) {
  auto game = host_game();
  game->world.tank.gun_pitch = -30.0f;
  fire_shell(*game);
  const Projectile& shot = game->world.projectile_table[0];
  EXPECT_NEAR(shot.vy, 0.25f, 1e-6f);
  EXPECT_NEAR(std::hypot(shot.vx, shot.vz), 0.5f, 1e-6f);
  EXPECT_NEAR(shot.y, -0.4f + 0.5f, 1e-6f);  // the muzzle rises with the gun
  const float y = shot.y;
  advance_projectiles(*game, 1.0f);
  EXPECT_NEAR(shot.y, y + 0.25f, 1e-6f);
}

TEST(Projectiles, OwnShellsNeverHit) {
  auto game = host_game();
  game->world.player_table[0].y = 1.0f;  // the shell is inside its own tank's hit box
  game->world.player_table[0].z = 1.0f;
  place_shell(*game, 0, 0, 0.5f, 0, 1);
  advance_projectiles(*game, 1.0f);
  EXPECT_EQ(game->world.projectile_table[0].active, 1);
  EXPECT_EQ(game->world.tank.health, 100);
  EXPECT_EQ(game->world.player_table[0].health, 100);
}

TEST(Projectiles, OneShellDamagesEveryTankItReaches) {
  auto game = host_game();
  seed_random(*game, 7);
  PlayerSlot& first = add_player(*game, 1, 5, "Alder", 0, 1, 1);
  PlayerSlot& second = add_player(*game, 2, 6, "Birch", 0.5f, 1, 1.2f);
  second.health = 40;
  place_shell(*game, 3, 0, 0.5f, 0, 1);
  advance_projectiles(*game, 1.0f);
  EXPECT_EQ(game->world.projectile_table[3].active, 0);
  EXPECT_EQ(first.health, 50);
  EXPECT_EQ(second.health, -10);
  // With networking off the remote players' new health cannot be sent, and
  // the kill of the second is not announced.
  for (const LogEntry& entry : game->log.entries) EXPECT_NE(entry.category, LOG_EVENT);
  EXPECT_STREQ(game->log.entries[0].text, "Status send failed.");
  EXPECT_STREQ(game->log.entries[1].text, "Status send failed.");
}

TEST(Projectiles, KillIsAnnouncedWithVictimVerbAndKiller) {
  for (bool killer_left : {false, true}) {
    auto game = host_game();
    game->settings.use_tcpip = 1;  // announcements go out only with networking on
    seed_random(*game, 99);
    auto same_random = make_game();
    seed_random(*same_random, 99);
    const char* verb = kill_verbs[static_cast<std::size_t>(next_random(*same_random)) % 6];
    PlayerSlot& victim = add_player(*game, 1, 5, "Alder", 0, 1, 1);
    victim.health = 50;
    if (killer_left) game->world.player_table[0].player_id = 0;
    place_shell(*game, 0, 0, 0.5f, 0, 1);
    advance_projectiles(*game, 1.0f);
    const std::string killer = killer_left ? kDepartedKillerName : "Hostess";
    EXPECT_STREQ(game->log.entries[0].text, ("Alder " + std::string(verb) + " " + killer).c_str());
    EXPECT_STREQ(game->log.entries[0].source, "SYS");
    EXPECT_EQ(game->log.entries[0].category, LOG_EVENT);
  }
}

TEST(Projectiles, AClientNeitherRemovesNorDamages) {
  auto game = host_game();
  game->settings.is_host = 0;
  PlayerSlot& target = add_player(*game, 1, 5, "Alder", 0, 1, 1);
  add_box(game->world.level, -5, -5, 0.2f, 10, 10, 10);
  place_shell(*game, 0, 0, 0.5f, 0, 9);
  advance_projectiles(*game, 1.0f);
  EXPECT_EQ(game->world.projectile_table[0].active, 1);
  EXPECT_EQ(target.health, 100);
}

TEST(Projectiles, SolidBoxesEndShellsOnTheHost) {
  auto game = host_game();
  LevelObject& box = add_box(game->world.level, -5, -5, 0.2f, 10, 10, 10);
  place_shell(*game, 0, 0, 0.5f, 0, 1);
  box.solid = 0;
  advance_projectiles(*game, 1.0f);
  EXPECT_EQ(game->world.projectile_table[0].active, 1);
  box.solid = 1;
  advance_projectiles(*game, 1.0f);
  EXPECT_EQ(game->world.projectile_table[0].active, 0);
}

// The box and tank tests' mixed edges: a shell's next position ends it on
// the low y and z faces and the high x face, not on the others; a full
// level's last slot counts like any other. A tank whose player is dead and
// waiting to re-enter is never hit, even dead centre.
TEST(Projectiles, BoxAndTankEdgesEndShellsOnTheirOwnSidesOnly) {
  struct Case {
    float x, y, z;  // the shell's next position
    int ends;
  };
  // Box 2 x 2 x 2 from (10, 10, 10); the shell moves 0.5 along +z per step.
  const Case cases[] = {
      {11, 10, 10, 1},  {11, 12, 11, 0},  // y: low face inside, top face outside
      {11, 11, 10, 1},  {11, 11, 12, 0},  // z: low face inside, far face outside
      {10, 11, 11, 0},  {12, 11, 11, 1},  // x: low face outside, high face inside
      {11, 11, 11, 1},
  };
  for (const Case& c : cases) {
    for (int full : {0, 1}) {
      auto game = host_game();
      LevelTable& level = game->world.level;
      if (full) {
        for (int i = 0; i < 255; ++i) add_box(level, -90, -90, -90, 1, 1, 1);
        level.count = 255;
      }
      level.objects[full ? 255 : 0] = add_box(level, 10, 10, 10, 2, 2, 2);
      place_shell(*game, 0, c.x, c.y, c.z - 0.5f, 2);
      advance_projectiles(*game, 1.0f);
      EXPECT_EQ(game->world.projectile_table[0].active, 1 - c.ends)
          << "at (" << c.x << ", " << c.y << ", " << c.z << ") in a " << (full ? "full" : "small") << " level";
    }
  }

  // A tank at (10, 11, 11): its box spans x 9..11, y 10..11, z 10..12.
  struct TankCase {
    float x, y, z;  // the shell's next x and z, its present y
    int hits;
  };
  const TankCase tank_cases[] = {
      {10, 10, 11, 1}, {10, 11, 11, 0},  // y: low face inside, top face outside
      {10, 10.5f, 10, 1}, {10, 10.5f, 12, 0},  // z: low face inside, far face outside
      {9, 10.5f, 11, 0}, {11, 10.5f, 11, 1},   // x: low face outside, high face inside
      {10, 10.5f, 11, 1},
  };
  for (const TankCase& c : tank_cases) {
    for (int dead : {0, 1, 2}) {
      auto game = host_game();
      game->settings.use_tcpip = 1;  // a kill would be announced
      PlayerSlot& tank = add_player(*game, 1, 5, "Alder", 10, 11, 11);
      if (dead) {
        // Out of play as its own status says while it waits at the entry
        // prompt; or still in play, as a status sent before its player
        // learned of the kill says: dead either way.
        tank.in_play = dead == 2 ? 1 : 0;
        tank.health = -50;
      }
      place_shell(*game, 0, c.x, c.y, c.z - 0.5f, 1);
      advance_projectiles(*game, 1.0f);
      const int hit = dead ? 0 : c.hits;
      const std::string where = "at (" + std::to_string(c.x) + ", " + std::to_string(c.y) + ", " +
                                std::to_string(c.z) + (dead ? ") dead" : ")");
      EXPECT_EQ(game->world.projectile_table[0].active, 1 - hit) << where;
      EXPECT_EQ(tank.health, dead ? -50 : 100 - 50 * hit) << where;
      for (const LogEntry& entry : game->log.entries) EXPECT_NE(entry.category, LOG_EVENT) << where;
    }
  }
}

TEST(Projectiles, LeavingTheLevelEndsTheShellAfterItsLastPuff) {
  auto game = host_game();
  place_shell(*game, 0, 0, 0, 99.8f, 1);
  advance_projectiles(*game, 1.0f);
  EXPECT_EQ(game->world.projectile_table[0].active, 0);
  EXPECT_EQ(game->world.particle_next, 1);
  EXPECT_NEAR(game->world.particle_pool[0].z, 100.3f, 1e-4f);

  // A shell whose position is no number is outside the level too.
  place_shell(*game, 1, std::nanf(""), 0, 0, 1);
  advance_projectiles(*game, 1.0f);
  EXPECT_EQ(game->world.projectile_table[1].active, 0);
}

TEST(Projectiles, The257thShotReusesSlotZero) {
  auto game = host_game();
  for (int i = 0; i < 256; ++i) fire_shell(*game);
  EXPECT_EQ(game->world.projectile_next, 0);
  game->world.tank.x = 7.0f;
  fire_shell(*game);
  EXPECT_EQ(game->world.projectile_next, 1);
  EXPECT_FLOAT_EQ(game->world.projectile_table[0].x, 7.0f);
}

TEST(Projectiles, HitscanShellsCannotLoopForever) {
  for (int host : {0, 1}) {
    auto game = host_game();
    game->settings.is_host = host;
    Projectile& shot = place_shell(*game, 0, 0, 0, 0, 1);
    shot.vz = 0;  // never leaves, never hits anything
    shot.hitscan = 1;
    advance_projectiles(*game, 1.0f);
    EXPECT_EQ(shot.active, host ? 0 : 1);
  }
  auto game = host_game();
  Projectile& shot = place_shell(*game, 0, 0, 0, 0, 1);
  shot.hitscan = 1;  // a moving one runs to the level bounds within one step
  advance_projectiles(*game, 1.0f);
  EXPECT_EQ(shot.active, 0);
  EXPECT_GT(shot.z, 100.0f);
}

TEST(Particles, SpawnFillsTheRingAndWraps) {
  auto game = host_game();
  for (int i = 0; i < 1000; ++i) spawn_particle(*game, static_cast<float>(i), 0, 0, 0, 0, 16, 1, 1, 1, 0);
  EXPECT_EQ(game->world.particle_next, 0);
  EXPECT_EQ(game->world.particle_pool[0].active, 1);
  spawn_particle(*game, -1, 2, 3, 90, 0.02f, 16, 0.5f, 0.25f, 1, 0.1f);
  const Particle& puff = game->world.particle_pool[0];
  EXPECT_FLOAT_EQ(puff.x, -1);
  EXPECT_FLOAT_EQ(puff.life, 1.0f);
  EXPECT_NEAR(puff.vx, -0.02f, 1e-7f);  // heading 90: moves toward +x by minus vx
  EXPECT_NEAR(puff.vz, 0.0f, 1e-7f);
  EXPECT_FLOAT_EQ(puff.green, 0.25f);
  EXPECT_FLOAT_EQ(puff.gravity, 0.1f);
  EXPECT_EQ(game->world.particle_next, 1);
  EXPECT_FLOAT_EQ(game->world.particle_pool[1].x, 1);
}

TEST(Particles, TrailHeadingsInAndOutOfTheUsualRangeGiveTheExactDirection) {
  auto game = host_game();
  for (int32_t heading : {0, 1, 90, 359, 360, 361, -30, 100000}) {
    spawn_particle(*game, 0, 0, 0, heading, 0.02f, 16, 1, 1, 1, 0);
    const Particle& puff = game->world.particle_pool[static_cast<std::size_t>(game->world.particle_next - 1)];
    const Direction expected = heading_direction(heading);
    EXPECT_EQ(puff.vx, expected.sin_a * 0.02f) << heading;
    EXPECT_EQ(puff.vz, expected.cos_a * 0.02f) << heading;
  }
}

TEST(Particles, APuffDiesInItsFiftyFirstFrame) {
  auto game = host_game();
  spawn_particle(*game, 0, 0, 0, 90, 0.02f, 16, 1, 1, 1, 0.001f);
  const Particle& puff = game->world.particle_pool[0];
  for (int frame = 1; frame <= 50; ++frame) {
    advance_particles(*game, 0.5f);
    ASSERT_EQ(puff.active, 1) << frame;
  }
  advance_particles(*game, 0.5f);
  EXPECT_EQ(puff.active, 0);
  // It still moved in its last frame: 51 frames of half a step at 0.02.
  EXPECT_NEAR(puff.x, 51 * 0.5f * 0.02f, 1e-4f);
  // Gravity acts per frame, the fall per step.
  EXPECT_NEAR(puff.vy, -0.051f, 1e-5f);
}

}  // namespace
