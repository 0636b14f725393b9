#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "core/game.h"
#include "world/input.h"
#include "world/simulation.h"
#include "world_test_support.h"

namespace {

// A host with networking off: shots are numbered and created locally.
std::unique_ptr<Game> game_in_play() {
  auto game = make_game();
  game->settings.is_host = 1;
  game->world.in_session = 1;
  game->world.tank.in_play = 1;
  game->world.tank.health = 100;
  game->world.tank.local_player_id = 1;
  return game;
}

void hold(Game& game, uint8_t scan_code) { game.input.key_state[scan_code] = kKeyDownBit; }

void run_frames(Game& game, int frames, float step) {
  for (int i = 0; i < frames; ++i) simulation_step(game, step);
}

constexpr float kSteps[] = {1.0f, 0.5f};  // 85 and 170 frames per second

TEST(Simulation, PerFrameQuantitiesIgnoreTheFrameRate) {
  for (float step : kSteps) {
    auto game = game_in_play();
    hold(*game, kScanUp);
    run_frames(*game, 10, step);
    // Throttle and friction: 10 x (0.01 - 0.004) whatever the rate.
    EXPECT_NEAR(game->world.tank.speed, 0.06f, 1e-6f) << step;
  }
}

// Falling and lifts are per step: a second of play falls as far and lifts
// as high at any frame rate, long frames included; at the tuned rate the
// fall is the tuned one exactly.
TEST(Simulation, FallingAndLiftsMoveTheSameAtAnyFrameRate) {
  float tuned_y = 0;
  for (float step : {1.0f, 0.5f, 2.5f, 8.5f, 21.25f}) {
    auto game = game_in_play();  // no level under the tank: it falls freely
    game->world.tank.x = 40;
    LevelObject& lift = add_box(game->world.level, 10, 0, 10, 4, 1, 4);
    lift.kind = LEVEL_KIND_LIFT;
    lift.lift_speed = 0.01f;
    lift.lift_travel = 2;
    PlayerSlot& rider = game->world.player_table[1];
    rider.active = rider.in_play = 1;
    rider.x = rider.z = 12;
    rider.y = 1.99f;
    run_frames(*game, static_cast<int>(std::lround(85.0f / step)), step);
    if (step == 1.0f) tuned_y = game->world.tank.y;
    EXPECT_FLOAT_EQ(game->world.tank.vertical_speed, -0.3f) << step;  // terminal speed
    EXPECT_NEAR(game->world.tank.y, tuned_y, 0.1f) << step;
    EXPECT_NEAR(lift.y, 0.85f, 1e-4f) << step;
  }
  EXPECT_NEAR(tuned_y, -16.65f, 0.01f);  // 60 frames to terminal speed (9.15), 25 at it
  auto tuned = game_in_play();
  run_frames(*tuned, 3, 1.0f);
  EXPECT_FLOAT_EQ(tuned->world.tank.y, -0.005f - 0.01f - 0.015f);
}

TEST(Simulation, PerStepQuantitiesScaleWithStep) {
  for (float step : kSteps) {
    auto driving = game_in_play();
    driving->world.tank.speed = 0.2f;
    hold(*driving, kScanUp);  // keeps the speed at 0.2 before friction
    simulation_step(*driving, step);
    // Heading 0 drives along +z by the speed after friction, times step.
    EXPECT_NEAR(driving->world.tank.z, 0.196f * step, 1e-6f) << step;
    EXPECT_NEAR(driving->world.tank.x, 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(driving->world.camera.camera_z, driving->world.tank.z);
    EXPECT_FLOAT_EQ(driving->world.camera.camera_y, driving->world.tank.y - 0.2f);

    auto turning = game_in_play();
    hold(*turning, kScanLeft);
    simulation_step(*turning, step);
    EXPECT_FLOAT_EQ(turning->world.tank.turret_heading, 360.0f - step);
    EXPECT_FLOAT_EQ(turning->world.tank.hull_heading, 360.0f - step);
  }
}

TEST(Simulation, GunCooldownLastsTheSameTime) {
  for (float step : kSteps) {
    auto game = game_in_play();
    game->input.mouse_button = 1;
    simulation_step(*game, step);
    EXPECT_EQ(game->world.projectile_table[0].active, 1);
    EXPECT_FLOAT_EQ(game->world.tank.fire_cooldown, 60.0f);
    // The button stays held: the next shot leaves in the frame the gun is ready.
    int frames = 0;
    while (!game->world.projectile_table[1].active && frames < 1000) {
      simulation_step(*game, step);
      ++frames;
    }
    EXPECT_EQ(frames, static_cast<int>(60.0f / step)) << step;
  }
}

TEST(Simulation, HullTurnsTowardTheTurret) {
  for (float step : kSteps) {
    auto forward = game_in_play();
    forward->world.tank.turret_heading = 90.0f;
    hold(*forward, kScanUp);
    simulation_step(*forward, step);
    EXPECT_FLOAT_EQ(forward->world.tank.hull_heading, 2.0f * step);

    auto reverse = game_in_play();
    reverse->world.tank.turret_heading = 90.0f;
    hold(*reverse, kScanDown);
    simulation_step(*reverse, step);
    EXPECT_FLOAT_EQ(reverse->world.tank.hull_heading, 2.0f);  // not scaled, on purpose

    auto left = game_in_play();  // turret to the left: hull turns down
    left->world.tank.hull_heading = 90.0f;
    hold(*left, kScanDown);
    simulation_step(*left, step);
    EXPECT_FLOAT_EQ(left->world.tank.hull_heading, 88.0f);
  }
}

TEST(Simulation, HullTurnsUpThrough360) {
  auto game = game_in_play();
  game->world.tank.hull_heading = 350.0f;
  game->world.tank.turret_heading = 10.0f;
  hold(*game, kScanUp);
  std::vector<float> headings;
  for (int i = 0; i < 12; ++i) {
    simulation_step(*game, 1.0f);
    headings.push_back(game->world.tank.hull_heading);
  }
  const std::vector<float> expected = {352, 354, 356, 358, 360, 2, 4, 6, 8, 10, 10, 10};
  ASSERT_EQ(headings.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(headings[i], expected[i], 1e-4f) << i;
}

TEST(Simulation, HullSettlesBelowTheTurretFromEitherSide) {
  // Rate 3 (step 1.5): from below an overshoot is taken back in the same
  // frame; from above the hull steps down past the target and stays there.
  auto below = game_in_play();
  below->world.tank.hull_heading = 9.0f;
  below->world.tank.turret_heading = 10.0f;
  hold(*below, kScanUp);
  run_frames(*below, 3, 1.5f);
  EXPECT_FLOAT_EQ(below->world.tank.hull_heading, 9.0f);

  auto above = game_in_play();
  above->world.tank.hull_heading = 20.0f;
  above->world.tank.turret_heading = 10.0f;
  hold(*above, kScanUp);
  run_frames(*above, 6, 1.5f);
  EXPECT_FLOAT_EQ(above->world.tank.hull_heading, 8.0f);
}

TEST(Simulation, ReverseSpeedStopsInThe49thFrame) {
  auto game = game_in_play();
  game->world.tank.speed = -0.2f;
  run_frames(*game, 48, 1.0f);
  EXPECT_LT(game->world.tank.speed, 0.0f);
  simulation_step(*game, 1.0f);
  EXPECT_EQ(game->world.tank.speed, 0.0f);
}

TEST(Simulation, GunPitchStaysWithinItsLimits) {
  auto game = game_in_play();
  game->input.mouse_dy = 1000;
  simulation_step(*game, 1.0f);
  EXPECT_FLOAT_EQ(game->world.tank.gun_pitch, 8.0f);
  game->input.mouse_dy = -5000;
  simulation_step(*game, 1.0f);
  EXPECT_FLOAT_EQ(game->world.tank.gun_pitch, -90.0f);
  EXPECT_FLOAT_EQ(game->world.camera.camera_pitch, -90.0f);
}

TEST(Simulation, SuspendedControlsStillLetTheMouseAim) {
  for (int flag = 0; flag < 3; ++flag) {
    auto game = game_in_play();
    WorldState& world = game->world;
    (flag == 0 ? world.pause_menu_open : flag == 1 ? world.chat_entry_open : world.awaiting_entry) = 1;
    hold(*game, kScanUp);
    hold(*game, kScanLeft);
    hold(*game, kScanT);
    game->input.mouse_button = 1;
    game->input.mouse_dx = 50;
    game->input.mouse_dy = -20;
    const uint32_t key_delay = world.key_delay;
    simulation_step(*game, 1.0f);
    EXPECT_FLOAT_EQ(world.tank.turret_heading, 5.0f) << flag;
    EXPECT_FLOAT_EQ(world.tank.gun_pitch, -2.0f);
    EXPECT_FLOAT_EQ(world.camera.camera_heading, 5.0f);
    EXPECT_EQ(world.tank.speed, 0.0f);
    EXPECT_EQ(world.tank.hull_heading, 0.0f);
    EXPECT_EQ(world.projectile_table[0].active, 0);
    EXPECT_EQ(world.key_delay, key_delay);
  }
}

TEST(Simulation, TOpensTheChatLineAndIgnoresTheOtherKeys) {
  auto game = game_in_play();
  std::strcpy(game->world.chat_line, "old text");
  hold(*game, kScanT);
  hold(*game, kScanUp);
  game->input.mouse_button = 1;
  simulation_step(*game, 1.0f);
  EXPECT_EQ(game->world.chat_entry_open, 1);
  EXPECT_EQ(game->world.key_delay, 20u);
  for (char c : game->world.chat_line) EXPECT_EQ(c, 0);
  EXPECT_EQ(game->world.tank.speed, 0.0f);
  EXPECT_EQ(game->world.projectile_table[0].active, 0);
}

TEST(Simulation, TankDrivingDiagonallyIntoAWallSlidesAlongIt) {
  auto game = game_in_play();
  add_box(game->world.level, -50, -2, -50, 100, 1, 100);  // floor, top at -1
  add_box(game->world.level, 3, -1, -50, 1, 5, 100);      // wall across +x
  game->world.tank.hull_heading = game->world.tank.turret_heading = 45.0f;
  hold(*game, kScanUp);
  run_frames(*game, 200, 1.0f);
  const LocalTank& tank = game->world.tank;
  EXPECT_LE(tank.x, 2.0f + 0.2f);  // held back by the wall's blocking square
  EXPECT_GT(tank.x, 1.5f);
  EXPECT_GT(tank.z, 20.0f);  // still moving along it
  EXPECT_FLOAT_EQ(tank.y, 0.0f);
}

TEST(Simulation, LaterBoxesSeeTheMoveAsEarlierBoxesLeftIt) {
  // The first wall stops the move along x; a step just ahead along x is
  // then never stood on, because its test sees dx already zeroed.
  auto game = game_in_play();
  add_box(game->world.level, -50, -2, -50, 100, 1, 100);
  add_box(game->world.level, 1.05f, -1, -50, 1, 5, 100);
  add_box(game->world.level, 0.65f, -2, -50, 0.2f, 1.05f, 100);  // a step 0.05 high
  game->world.tank.hull_heading = game->world.tank.turret_heading = 90.0f;
  game->world.tank.speed = 0.2f;
  hold(*game, kScanUp);
  simulation_step(*game, 1.0f);
  EXPECT_FLOAT_EQ(game->world.tank.x, 0.0f);
  EXPECT_FLOAT_EQ(game->world.tank.y, 0.0f);  // on the floor, not on the step at -0.95
}

TEST(Simulation, LiftCarriesARiderUpAndSinksBack) {
  auto game = game_in_play();
  game->world.tank.x = 40;  // the local tank is elsewhere, falling
  LevelObject& lift = add_box(game->world.level, 10, 0, 10, 4, 1, 4);
  lift.kind = LEVEL_KIND_LIFT;
  lift.lift_speed = 0.1f;
  lift.lift_travel = 2;
  lift.lift_base_y = 0;
  PlayerSlot& rider = game->world.player_table[1];
  rider.active = rider.in_play = 1;
  rider.x = rider.z = 12;
  rider.y = 1.99f;  // feet just below the lift's top
  std::vector<int32_t> states{lift.lift_state};
  float highest = 0;
  for (int i = 0; i < 100; ++i) {
    simulation_step(*game, 0.5f);
    if (lift.lift_state != states.back()) states.push_back(lift.lift_state);
    if (lift.y > highest) highest = lift.y;
  }
  const std::vector<int32_t> expected = {LIFT_DOWN, LIFT_RISING, LIFT_UP, LIFT_DESCENDING, LIFT_DOWN,
                                         LIFT_RISING};
  ASSERT_GE(states.size(), expected.size());
  EXPECT_EQ(std::vector<int32_t>(states.begin(), states.begin() + 6), expected);
  EXPECT_FLOAT_EQ(highest, 2.0f);  // exactly base + travel
}

TEST(Simulation, NonSolidLiftNeverMoves) {
  auto game = game_in_play();
  LevelObject& lift = add_box(game->world.level, -5, -2, -5, 10, 1, 10);
  lift.kind = LEVEL_KIND_LIFT;
  lift.solid = 0;
  lift.lift_speed = 0.1f;
  lift.lift_travel = 2;
  lift.lift_base_y = -2;
  game->world.tank.y = -0.99f;
  run_frames(*game, 30, 1.0f);
  EXPECT_EQ(lift.lift_state, LIFT_DOWN);
  EXPECT_FLOAT_EQ(lift.y, -2.0f);
  EXPECT_LT(game->world.tank.y, -1.0f);  // it fell through
}

TEST(Simulation, DeathShowsTheEntryPrompt) {
  auto game = game_in_play();
  game->world.tank.health = -50;
  simulation_step(*game, 1.0f);
  EXPECT_EQ(game->world.tank.health, 0);
  EXPECT_EQ(game->world.tank.in_play, 0);
  EXPECT_EQ(game->world.awaiting_entry, 1);
}

}  // namespace
