#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "core/game.h"
#include "world/input.h"
#include "world/level.h"
#include "world/simulation.h"
#include "world_test_support.h"

namespace {

const std::string kShippedLevel = std::string(MORVANE_GAME_DIR) + "/default.mvl";

std::string file_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::unique_ptr<Game> game_on_shipped_level() {
  auto game = make_game();
  EXPECT_EQ(load_level(game->world.level, kShippedLevel.c_str()), 1);
  game->settings.is_host = 1;
  game->world.in_session = 1;
  game->world.tank.in_play = 1;
  game->world.tank.health = 100;
  return game;
}

bool boxes_overlap(const LevelObject& box, float x0, float y0, float z0, float x1, float y1, float z1) {
  return box.x < x1 && x0 < box.x + box.size_x && box.y < y1 && y0 < box.y + box.size_y &&
         box.z < z1 && z0 < box.z + box.size_z;
}

TEST(DefaultLevel, GameDirectoryHoldsTheCurrentLevel) {
  EXPECT_EQ(file_text(kShippedLevel),
            file_text(std::string(MORVANE_SOURCE_DIR) + "/assets/level/default.mvl"));
}

TEST(DefaultLevel, HasEveryKindOfObjectTheGameDraws) {
  auto game = game_on_shipped_level();
  int slab_lifts = 0, pillar_lifts = 0, translucent_solid = 0, decorations = 0, invisible = 0;
  std::set<int32_t> textures, modes;
  for (const LevelObject& box : game->world.level.objects) {
    if (!box.in_use) continue;
    const float top = box.y + box.size_y + (box.kind == LEVEL_KIND_LIFT ? box.lift_travel : 0);
    for (float v : {box.x, box.x + box.size_x, box.y, top, box.z, box.z + box.size_z}) {
      EXPECT_GE(v, -100.0f);
      EXPECT_LE(v, 100.0f);
    }
    if (box.kind == LEVEL_KIND_LIFT && box.solid && box.lift_speed > 0 && box.lift_travel > 0)
      ++(box.lift_pillar ? pillar_lifts : slab_lifts);
    if (box.translucent && box.solid && box.kind != LEVEL_KIND_OTHER) ++translucent_solid;
    if (!box.solid && box.kind != LEVEL_KIND_OTHER) ++decorations;
    if (box.kind == LEVEL_KIND_OTHER && box.solid) ++invisible;
    if (box.kind != LEVEL_KIND_OTHER) {
      textures.insert(box.texture);
      modes.insert(box.texture_mode == 1 ? 1 : 0);
    }
    // The spinning cube turns in the open at (0, 1, 9).
    EXPECT_FALSE(boxes_overlap(box, -1, 0, 8, 1, 2, 10));
  }
  EXPECT_GE(slab_lifts, 1);
  EXPECT_GE(pillar_lifts, 1);
  EXPECT_GE(translucent_solid, 1);
  EXPECT_GE(decorations, 1);
  EXPECT_GE(invisible, 1);
  EXPECT_EQ(textures, (std::set<int32_t>{1, 2, 5}));
  EXPECT_EQ(modes, (std::set<int32_t>{0, 1}));
}

// The origin and every entry place the level lists: open flat ground with
// room around, inside the walls, and spread out.
TEST(DefaultLevel, TanksEnterOnOpenFlatGround) {
  auto shipped = game_on_shipped_level();
  const LevelTable& level = shipped->world.level;
  EXPECT_GE(level.entry_count, 6);
  for (int32_t n = -1; n < level.entry_count; ++n) {
    const EntryPlace place = n < 0 ? EntryPlace{} : level.entries[static_cast<std::size_t>(n)];
    auto game = game_on_shipped_level();
    game->world.tank.x = place.x;
    game->world.tank.y = place.y;
    game->world.tank.z = place.z;
    for (int i = 0; i < 100; ++i) simulation_step(*game, 1.0f);
    EXPECT_FLOAT_EQ(game->world.tank.y, 0.0f) << n;
    EXPECT_FLOAT_EQ(game->world.tank.x, place.x) << n;
    EXPECT_FLOAT_EQ(game->world.tank.z, place.z) << n;
    EXPECT_LE(std::fabs(place.x), 56.0f) << n;
    EXPECT_LE(std::fabs(place.z), 56.0f) << n;
    for (const LevelObject& box : level.objects) {
      if (box.in_use && box.solid) {
        EXPECT_FALSE(boxes_overlap(box, place.x - 4, -1, place.z - 4, place.x + 4, 3, place.z + 4)) << n;
      }
    }
    // It enters facing the origin, with the way there open.
    for (float t = 0; t < 1.0f; t += 0.01f) {
      const float x = place.x * (1 - t), z = place.z * (1 - t);
      for (const LevelObject& box : level.objects) {
        if (box.in_use && box.solid && box.y + box.size_y > -0.5f && box.y < 1.0f) {
          EXPECT_FALSE(boxes_overlap(box, x - 0.5f, -0.5f, z - 0.5f, x + 0.5f, 0.5f, z + 0.5f))
              << n << " at " << x << " " << z;
        }
      }
    }
    for (int32_t m = n + 1; m < level.entry_count; ++m) {
      const EntryPlace& far = level.entries[static_cast<std::size_t>(m)];
      EXPECT_GT(std::hypot(far.x - place.x, far.z - place.z), 20.0f) << n << " " << m;
    }
  }
}

TEST(DefaultLevel, NoTankDrivesOffTheWorld) {
  for (int heading = 0; heading < 360; heading += 30) {
    auto game = game_on_shipped_level();
    game->world.tank.hull_heading = game->world.tank.turret_heading = static_cast<float>(heading);
    game->input.key_state[kScanUp] = kKeyDownBit;
    float lowest = 0;
    for (int i = 0; i < 2500; ++i) {
      simulation_step(*game, 1.0f);
      lowest = std::min(lowest, game->world.tank.y);
    }
    const LocalTank& tank = game->world.tank;
    EXPECT_LT(std::fabs(tank.x), 62.0f) << heading;
    EXPECT_LT(std::fabs(tank.z), 62.0f) << heading;
    EXPECT_GE(lowest, -0.01f) << heading;
  }
}

// Every heading against every outer wall, at a steady 10 frames a second
// and across a single frame of 100 or 250 ms taken at several distances
// while driving up to the wall at the tuned rate: the tank never leaves the
// arena (its centre never enters a wall), nor falls through the floor.
TEST(DefaultLevel, NoFrameRateDrivesTheTankThroughAWall) {
  struct Wall {
    const char* name;
    float x, z;  // a start four units in front of the wall's inner face
  };
  const Wall walls[] = {{"north", 0, 58}, {"south", 0, -58}, {"east", 58, 0}, {"west", -58, 0}};
  struct Pace {
    const char* name;
    float long_step;
    bool steady;  // every frame long, or one long frame amid tuned ones
  };
  const Pace paces[] = {{"10 fps", 8.5f, true}, {"one 100 ms frame", 8.5f, false}, {"one 250 ms frame", 21.25f, false}};
  int escapes = 0, runs = 0;
  for (const Wall& wall : walls) {
    for (int heading = 0; heading < 360; heading += 15) {
      for (const Pace& pace : paces) {
        for (int lead_in = 0; lead_in <= (pace.steady ? 0 : 20); lead_in += 2) {
          auto game = game_on_shipped_level();
          LocalTank& tank = game->world.tank;
          tank.x = wall.x;
          tank.z = wall.z;
          tank.speed = 0.2f;
          tank.hull_heading = tank.turret_heading = static_cast<float>(heading);
          game->input.key_state[kScanUp] = kKeyDownBit;
          bool inside = true;
          for (int frame = 0; frame < lead_in + 40 && inside; ++frame) {
            const bool long_frame = pace.steady || frame == lead_in;
            simulation_step(*game, long_frame ? pace.long_step : 1.0f);
            inside = std::fabs(tank.x) < 62.0f && std::fabs(tank.z) < 62.0f && tank.y > -0.5f;
          }
          ++runs;
          if (!inside && ++escapes <= 5) {
            ADD_FAILURE() << "left the arena through the " << wall.name << " wall at heading " << heading
                          << ", " << pace.name << " after " << lead_in << " frames: " << tank.x << " "
                          << tank.y << " " << tank.z;
          }
        }
      }
    }
  }
  EXPECT_EQ(escapes, 0) << "of " << runs;
}

// Steers like a player: the mouse turns the turret toward the target, Up
// drives the hull after it, slowing down near the target.
bool drive_to(Game& game, float tx, float tz, float radius) {
  LocalTank& tank = game.world.tank;
  for (int frame = 0; frame < 3000; ++frame) {
    const float dx = tx - tank.x, dz = tz - tank.z;
    const float distance = std::sqrt(dx * dx + dz * dz);
    game.input = InputState{};
    if (distance < radius) {
      for (int i = 0; i < 60; ++i) simulation_step(game, 1.0f);
      return true;
    }
    float turn = static_cast<float>(std::atan2(dx, dz) * 180.0 / M_PI) - tank.turret_heading;
    while (turn > 180) turn -= 360;
    while (turn < -180) turn += 360;
    game.input.mouse_dx = static_cast<int32_t>(std::lround(turn * 10));
    if (tank.speed < std::min(0.2f, 0.02f + distance * 0.03f)) game.input.key_state[kScanUp] = kKeyDownBit;
    simulation_step(game, 1.0f);
  }
  return false;
}

int wait_for_lift(Game& game, const LevelObject& lift, int32_t state) {
  int frames = 0;
  while (lift.lift_state != state && frames < 1000) {
    simulation_step(game, 1.0f);
    ++frames;
  }
  simulation_step(game, 1.0f);  // a rider stands on the lift's final height a frame later
  return frames;
}

const LevelObject* lift_at(const LevelTable& level, float x, float z) {
  for (const LevelObject& box : level.objects) {
    if (box.in_use && box.kind == LEVEL_KIND_LIFT && box.x <= x && x <= box.x + box.size_x &&
        box.z <= z && z <= box.z + box.size_z)
      return &box;
  }
  return nullptr;
}

TEST(DefaultLevel, TankDrivesFromTheEntryOntoTheLiftsAndUp) {
  auto game = game_on_shipped_level();
  Game& g = *game;
  const LevelObject* slab = lift_at(g.world.level, 12, 36);
  const LevelObject* pillar = lift_at(g.world.level, 28, 40);
  ASSERT_NE(slab, nullptr);
  ASSERT_NE(pillar, nullptr);

  ASSERT_TRUE(drive_to(g, 12, 36, 0.8f));
  EXPECT_NE(slab->lift_state, LIFT_DOWN);
  wait_for_lift(g, *slab, LIFT_UP);
  EXPECT_EQ(slab->lift_state, LIFT_UP);
  EXPECT_NEAR(g.world.tank.y, slab->y + slab->size_y + 1.0f, 0.01f);
  EXPECT_GT(g.world.tank.y, 2.0f);

  ASSERT_TRUE(drive_to(g, 20, 37, 0.8f));  // off the lift onto the terrace
  EXPECT_NEAR(g.world.tank.y, 2.0f, 0.01f);
  wait_for_lift(g, *slab, LIFT_DOWN);
  EXPECT_EQ(slab->lift_state, LIFT_DOWN);

  ASSERT_TRUE(drive_to(g, 28, 40, 0.8f));
  wait_for_lift(g, *pillar, LIFT_UP);
  EXPECT_NEAR(g.world.tank.y, pillar->y + pillar->size_y + 1.0f, 0.01f);
  ASSERT_TRUE(drive_to(g, 36, 40, 0.8f));  // onto the high platform
  EXPECT_NEAR(g.world.tank.y, 6.0f, 0.01f);
}

}  // namespace
