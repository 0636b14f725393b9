#include "world/simulation.h"

#include <cmath>
#include <cstring>

#include "core/game_core.h"
#include "world/entry.h"
#include "world/heading.h"
#include "world/projectiles.h"

// Constants are tuned for 85 frames per second. Quantities "per step" are
// scaled by step = 85 / fps; those "per frame" are applied once per frame
// whatever the frame rate, so they act faster at higher rates. Which is
// which is part of the game's feel: the throttle, friction and the reverse
// hull turn stay per frame. The tank's motion (gravity, collisions, the
// lifts and the move) is per step, and a frame longer than a tuned one is
// played as several motion steps of at most one tuned frame each, since the
// collision tests look one tuned move ahead: a longer move in one piece
// would carry the tank through walls and floors.
namespace {

constexpr float kMouseSensitivity = 0.1f;  // degrees per count, per frame
constexpr float kPitchHigh = 8.0f;
constexpr float kPitchLow = -90.0f;
constexpr float kAcceleration = 0.01f;  // per frame while Up or Down is held
constexpr float kTopSpeed = 0.2f;
constexpr float kFriction = 0.004f;  // per frame
constexpr float kDeadZone = 0.005f;
constexpr float kGravity = 0.005f;  // per step
constexpr float kTerminalFallSpeed = -0.3f;
constexpr float kReverseHullTurn = 2.0f;  // degrees per frame, deliberately not scaled
constexpr float kFireDelay = 60.0f;       // counted down by step
constexpr float kFeet = 1.0f;             // the reference point is 1 above the tank's bottom
constexpr float kStandSide = 1.2f;        // square under the tank that stands on boxes
constexpr float kBlockSide = 2.0f;        // square that side walls block
constexpr float kBlockMargin = 0.1f;      // a box blocks if its top is this far above the feet
constexpr float kEyeHeight = 0.2f;        // the camera is this far below the reference point
constexpr uint32_t kChatKeyDelay = 20;
constexpr float kEntryFireCooldown = 20.0f;
constexpr int32_t kEntryHealth = 100;
// The longest frame played in full, in tuned frames (one second); the frame
// timer never measures a longer one.
constexpr int kMostMotionSteps = 85;
// Below the level's cube nothing can hold the tank up any more.
constexpr float kBelowTheWorld = -100.0f;

// A square of the ground plane with its low corner at (px, pz) overlaps
// the box's ground rectangle. The mixed < and <= are the game's own.
bool overlaps(const LevelObject& box, float px, float pz, float side) {
  return box.z <= pz + side && pz < box.z + box.size_z && px <= box.x + box.size_x &&
         box.x < px + side;
}

bool stands_on(const LevelObject& box, float y, float x, float z) {
  const float feet = y - kFeet;
  const float top = box.y + box.size_y;
  const float half = kStandSide / 2.0f;
  return box.y < feet && feet < top && overlaps(box, x - half, z - half, kStandSide);
}

void mouse_look(GameCore& game) {
  LocalTank& tank = game.world.tank;
  tank.turret_heading += static_cast<float>(game.input.mouse_dx) * kMouseSensitivity;
  tank.gun_pitch += static_cast<float>(game.input.mouse_dy) * kMouseSensitivity;
  if (tank.gun_pitch > kPitchHigh) {
    tank.gun_pitch = kPitchHigh;
  } else if (tank.gun_pitch < kPitchLow) {
    tank.gun_pitch = kPitchLow;
  }
}

// From below the hull may overshoot and is taken back in the same frame, so
// it settles up to rate below the turret; from above it steps down by rate.
void turn_hull_toward_turret(LocalTank& tank, float rate) {
  const float d = tank.turret_heading - tank.hull_heading;
  float target = tank.turret_heading;
  if (d > 180.0f) {
    target = tank.turret_heading - 360.0f;
  } else if (d < -180.0f) {
    target = tank.turret_heading + 360.0f;
  }
  if (tank.hull_heading < target) tank.hull_heading += rate;
  if (tank.hull_heading > target) tank.hull_heading -= rate;
}

// The T that opens the line counts as the editor's held key, so it is not
// typed into the new line unless it is held long enough to repeat.
void open_chat_line(GameCore& game) {
  WorldState& world = game.world;
  world.key_delay = kChatKeyDelay;
  world.chat_entry_open = 1;
  std::memset(world.chat_line, 0, sizeof world.chat_line);
  game.protocol.last_chat_key = kScanT;
}

void controls(GameCore& game, float step) {
  WorldState& world = game.world;
  LocalTank& tank = world.tank;
  const InputState& input = game.input;
  if (key_down(input, kScanT)) {
    open_chat_line(game);
    return;
  }
  if (key_down(input, kScanUp)) {
    tank.speed += kAcceleration;
    if (tank.speed > kTopSpeed) tank.speed = kTopSpeed;
    turn_hull_toward_turret(tank, 2.0f * step);
  } else if (key_down(input, kScanDown)) {
    tank.speed -= kAcceleration;
    if (tank.speed < -kTopSpeed) tank.speed = -kTopSpeed;
    turn_hull_toward_turret(tank, kReverseHullTurn);
  }
  if (key_down(input, kScanLeft)) {
    tank.hull_heading -= step;
    tank.turret_heading -= step;
  } else if (key_down(input, kScanRight)) {
    tank.hull_heading += step;
    tank.turret_heading += step;
  }
  if (input.mouse_button != 0 && !(tank.fire_cooldown > 0.0f)) {
    fire_shell(game);
    tank.fire_cooldown = kFireDelay;
  }
}

// A heading of exactly 360 stays 360.
void wrap_heading(float& heading) {
  if (heading > 360.0f) heading -= 360.0f;
  if (heading < 0.0f) heading += 360.0f;
}

void friction(LocalTank& tank) {
  if (tank.speed > 0.0f) tank.speed -= kFriction;
  if (tank.speed < 0.0f) tank.speed += kFriction;
  if (tank.speed > -kDeadZone && tank.speed < kDeadZone) tank.speed = 0.0f;
}

void gravity(LocalTank& tank, float step) {
  tank.vertical_speed -= kGravity * step;
  if (tank.vertical_speed < kTerminalFallSpeed) tank.vertical_speed = kTerminalFallSpeed;
  tank.y += tank.vertical_speed * step;
}

bool ridden_by_a_player(const WorldState& world, const LevelObject& box) {
  for (const PlayerSlot& slot : world.player_table) {
    if (slot.active && slot.in_play && stands_on(box, slot.y, slot.x, slot.z)) return true;
  }
  return false;
}

void move_lift(LevelObject& lift, bool occupied, float step) {
  if (occupied && lift.lift_state == LIFT_DOWN) lift.lift_state = LIFT_RISING;
  if (!occupied && lift.lift_state == LIFT_UP) lift.lift_state = LIFT_DESCENDING;
  if (lift.lift_state == LIFT_RISING) {
    lift.y += lift.lift_speed * step;
    const float top = lift.lift_base_y + lift.lift_travel;
    if (lift.y >= top) {
      lift.y = top;
      lift.lift_state = LIFT_UP;
    }
  } else if (lift.lift_state == LIFT_DESCENDING) {
    lift.y -= lift.lift_speed * step;
    if (lift.y <= lift.lift_base_y) {
      lift.y = lift.lift_base_y;
      lift.lift_state = LIFT_DOWN;
    }
  }
}

// One solid box against the tank and its planned move (dx, dz). Blocking
// one axis keeps the other, so the tank slides along walls; later boxes see
// the move as this box left it.
void collide_with_box(WorldState& world, LevelObject& box, float& dx, float& dz, float step) {
  LocalTank& tank = world.tank;
  bool occupied = false;
  if (stands_on(box, tank.y, tank.x - dx, tank.z + dz)) {
    tank.y = box.y + box.size_y + kFeet;
    tank.vertical_speed = 0.0f;
    occupied = true;
  }
  if (ridden_by_a_player(world, box)) occupied = true;

  const float top = box.y + box.size_y;
  if (box.y < tank.y && tank.y - kFeet <= top - kBlockMargin) {
    const float half = kBlockSide / 2.0f;
    if (overlaps(box, tank.x - dx - half, tank.z - half, kBlockSide)) dx = 0.0f;
    if (overlaps(box, tank.x - half, tank.z + dz - half, kBlockSide)) dz = 0.0f;
  }
  if (box.kind == LEVEL_KIND_LIFT) move_lift(box, occupied, step);
}

// One motion step of at most one tuned frame: the tests of every box look
// one tuned move (dx, dz) ahead, which covers the move made.
void move_tank(WorldState& world, float step) {
  LocalTank& tank = world.tank;
  gravity(tank, step);
  const Direction hull = heading_direction(tank.hull_heading);
  float dx = hull.sin_a * tank.speed;
  float dz = hull.cos_a * tank.speed;
  for (LevelObject& box : world.level.objects) {
    if (box.in_use && box.solid) collide_with_box(world, box, dx, dz, step);
  }
  tank.x -= dx * step;
  tank.z += dz * step;
}

// A frame of up to one tuned frame is one motion step; a longer one is cut
// into equal steps no longer than one.
int motion_steps(float step) {
  if (!(step > 1.0f)) return 1;
  if (!(step < static_cast<float>(kMostMotionSteps))) return kMostMotionSteps;
  return static_cast<int>(std::ceil(step));
}

void place_camera(WorldState& world) {
  const LocalTank& tank = world.tank;
  Camera& camera = world.camera;
  camera.camera_x = tank.x;
  camera.camera_y = tank.y - kEyeHeight;
  camera.camera_z = tank.z;
  camera.camera_pitch = tank.gun_pitch;
  camera.camera_heading = tank.turret_heading;
  camera.camera_roll = 0.0f;
}

}  // namespace

int simulation_step(GameCore& game, float step) {
  WorldState& world = game.world;
  LocalTank& tank = world.tank;

  if (tank.fire_cooldown > 0.0f) tank.fire_cooldown -= step;
  if (!(tank.fire_cooldown > 0.0f)) tank.fire_cooldown = 0.0f;

  mouse_look(game);  // the view turns even while the controls are suspended
  if (!world.chat_entry_open && !world.pause_menu_open && !world.awaiting_entry) controls(game, step);
  wrap_heading(tank.hull_heading);
  wrap_heading(tank.turret_heading);
  friction(tank);

  const int steps = motion_steps(step);
  const float motion_step = step / static_cast<float>(steps);
  for (int i = 0; i < steps; ++i) move_tank(world, motion_step);
  // However it got there, a tank below the level is put back at an entry
  // place; it keeps its health and this is no new life.
  if (tank.y < kBelowTheWorld) {
    place_at_entry(world);
    tank.vertical_speed = 0.0f;
  }

  if (tank.health < 1 && !world.awaiting_entry) {
    tank.health = 0;
    tank.in_play = 0;
    world.awaiting_entry = 1;
  }
  place_camera(world);
  advance_projectiles(game, step);
  advance_particles(game, step);
  return 1;
}

bool enter_play_on_fire(GameCore& game) {
  if (game.input.mouse_button == 0 || game.world.key_delay != 0) return false;
  LocalTank& tank = game.world.tank;
  tank.fire_cooldown = kEntryFireCooldown;
  tank.in_play = 1;
  place_at_entry(game.world);
  tank.health = kEntryHealth;  // vertical_speed is kept on purpose
  ++tank.life;
  game.world.awaiting_entry = 0;
  return true;
}
