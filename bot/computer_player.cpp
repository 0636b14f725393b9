#include "bot/computer_player.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// The game's own numbers, as a player learns them by playing.
constexpr float kMouseDegreesPerCount = 0.1f;  // turret and gun, per frame
constexpr float kShellSpeed = 0.5f;            // per step, straight: no gravity acts on shells
constexpr float kMuzzleDrop = 0.4f;            // the gun sits this far below a tank's reference point
constexpr float kEyeDrop = 0.2f;
constexpr float kTankMiddle = 0.5f;  // a tank's middle, below its reference point
constexpr float kPitchHigh = 8.0f, kPitchLow = -90.0f;
constexpr float kTunedRate = 85.0f;
constexpr float kDegreesPerRadian = 180.0f / std::numbers::pi_v<float>;

// The player's habits.
constexpr float kSightRange = 120.0f;
constexpr int32_t kTargetMemoryFrames = 60;  // a target out of sight is kept this long
constexpr float kStickToTarget = 1.3f;       // a new target must be this much nearer to switch
constexpr float kLatencyFrames = 2.0f;       // a shot is judged by the host a frame or two later
constexpr int32_t kVelocityFrames = 8;
constexpr float kTeleport = 6.0f;            // a jump this long in a frame is a new entry
// A tank that has just entered is left alone this long unless it opens
// fire, so that its player can look around first; and while it stays where
// it entered, longer, up to the second figure. A new entry is told by the
// tank coming into play, jumping, or being mended, wherever it enters.
// A tank whose statuses have stopped arriving for kFrozenTicks is left alone
// too: its program runs no frames, what is seen of it is old, and shots at
// it only queue up on a host that is not taking them.
constexpr double kEntryGraceTicks = 3.0 * kTunedRate;
constexpr double kStillGraceTicks = 6.0 * kTunedRate;
constexpr float kStayedNear = 3.0f;  // this near its entry place, a tank has not moved away
constexpr double kFrozenTicks = 1.0 * kTunedRate;
constexpr int32_t kEntryPauseFrames = 50;    // after death, before pressing fire
constexpr int32_t kEntryPauseSpread = 70;
constexpr float kArrived = 3.0f;
constexpr float kFarEnoughWaypoint = 8.0f;
constexpr int32_t kWaypointTries = 16;
constexpr int32_t kGiveUpWaypointFrames = 255;
constexpr float kUnderWay = 0.05f;          // a speed at which a tank should be moving
constexpr float kBlockedShare = 0.3f;       // moving less than this share of its speed: blocked
constexpr int32_t kBlockedFrames = 20;      // blocked this long: stuck
constexpr int32_t kReverseFrames = 40;
constexpr float kSteerDeadBand = 3.0f;      // degrees of hull error left alone
constexpr float kThrottleWindow = 35.0f;    // throttle only while the hull is this close to its course
constexpr float kReverseBeyond = 100.0f;    // a course this far from the turret is driven in reverse
constexpr int32_t kStrafeFrames = 60, kStrafeSpread = 140;
constexpr float kStrafeLookAhead = 6.0f;

constexpr SkillTraits kSkills[] = {
    // reaction, error, error frames, hand, gain, tolerance, range, leads, dodges
    {50, 7.0f, 30, 20, 0.2f, 3.0f, 30.0f, false, false},
    {25, 3.0f, 50, 40, 0.35f, 2.0f, 45.0f, true, false},
    {12, 0.8f, 60, 60, 0.5f, 1.2f, 60.0f, true, true},
};

uint32_t next_random(ComputerPlayer& bot) {
  bot.random_state = bot.random_state * 1664525u + 1013904223u;
  return bot.random_state >> 8;
}

// Uniform in -1..1.
float random_signed(ComputerPlayer& bot) {
  return static_cast<float>(next_random(bot) % 20001u) / 10000.0f - 1.0f;
}

int32_t random_below(ComputerPlayer& bot, int32_t n) {
  return n > 0 ? static_cast<int32_t>(next_random(bot) % static_cast<uint32_t>(n)) : 0;
}

// A heading difference brought into -180..180.
float wrap180(float degrees) {
  degrees = std::fmod(degrees, 360.0f);
  if (degrees > 180.0f) degrees -= 360.0f;
  if (degrees < -180.0f) degrees += 360.0f;
  return degrees;
}

float distance2d(const Spot& a, const Spot& b) { return std::hypot(b.x - a.x, b.z - a.z); }

// The heading that points from a to b: heading 0 is +z, 90 is +x.
float bearing(const Spot& a, const Spot& b) {
  return std::atan2(b.x - a.x, b.z - a.z) * kDegreesPerRadian;
}

Spot position_of(const PlayerSlot& slot) { return Spot{slot.x, slot.y, slot.z}; }
Spot position_of(const LocalTank& tank) { return Spot{tank.x, tank.y, tank.z}; }

float step_of(const WorldState& world) {
  const auto fps = static_cast<uint32_t>(world.frames_per_second);
  return fps > 0 ? kTunedRate / static_cast<float>(fps) : 1.0f;
}

// ---------------------------------------------------------------------------
// What it remembers of the tanks

// A tank that comes into play, jumps (to an entry place) or is mended
// (only an entry brings health back) has entered anew; those in play when
// the player first looks entered long ago.
void record(TankTrack& track, const Spot& at, int32_t health, double clock, bool first_look) {
  if (track.samples > 0) {
    const Spot& last = track.positions[static_cast<std::size_t>(track.newest)];
    if (std::hypot(at.x - last.x, at.z - last.z) > kTeleport) track.samples = 0;
  }
  if (first_look) {
    track.entered_at = clock - kStillGraceTicks;
  } else if (track.samples == 0 || health > track.last_health) {
    track.entered_at = clock;
    track.entered_where = at;
    track.stayed = true;
  }
  if (std::hypot(at.x - track.entered_where.x, at.z - track.entered_where.z) >= kStayedNear) track.stayed = false;
  track.last_health = health;
  track.newest = (track.newest + 1) % static_cast<int32_t>(kTrackLength);
  track.positions[static_cast<std::size_t>(track.newest)] = at;
  track.samples = std::min(track.samples + 1, static_cast<int32_t>(kTrackLength));
}

void record_tanks(ComputerPlayer& bot, const WorldState& world) {
  for (std::size_t k = 0; k < kMaxPlayers; ++k) {
    const PlayerSlot& slot = world.player_table[k];
    TankTrack& track = bot.tracks[k];
    if (!slot.active || !slot.in_play || slot.player_id != track.player_id) {
      track.samples = 0;
      track.player_id = slot.player_id;
    }
    if (slot.active && slot.in_play)
      record(track, position_of(slot), slot.health, bot.clock, bot.frame == 1);
  }
}

bool frozen(const ComputerPlayer& bot, uint32_t player_id) {
  for (const HeardStatus& heard : bot.heard)
    if (heard.player_id == player_id) return bot.clock - heard.at > kFrozenTicks;
  return true;  // never heard from
}

// Whether the tank of slot k may be fought: not just entered, not frozen.
bool fair_game(const ComputerPlayer& bot, const WorldState& world, std::size_t k) {
  const TankTrack& track = bot.tracks[k];
  const double since_entry = bot.clock - track.entered_at;
  if (since_entry < kEntryGraceTicks) return false;
  if (since_entry < kStillGraceTicks && track.stayed) return false;
  return !frozen(bot, world.player_table[k].player_id);
}

// Motion per frame over the last few frames; still when too little is known.
Spot velocity_of(const TankTrack& track) {
  const int32_t span = std::min(track.samples - 1, kVelocityFrames);
  if (span <= 0) return Spot{};
  const int32_t length = static_cast<int32_t>(kTrackLength);
  const Spot& now = track.positions[static_cast<std::size_t>(track.newest)];
  const Spot& then = track.positions[static_cast<std::size_t>((track.newest - span + length) % length)];
  const float n = static_cast<float>(span);
  return Spot{(now.x - then.x) / n, (now.y - then.y) / n, (now.z - then.z) / n};
}

// ---------------------------------------------------------------------------
// The fight

struct Aim {
  bool engaged = false;    // aiming at a target (reaction over)
  bool line_open = false;  // nothing solid, glass included, between the gun and the target
  float heading = 0, pitch = 0;
  float distance = 0;      // to the point aimed at
  float target_bearing = 0;
};

Spot middle_of(const PlayerSlot& slot) { return Spot{slot.x, slot.y - kTankMiddle, slot.z}; }

int find_slot(const WorldState& world, uint32_t player_id) {
  for (std::size_t k = 0; k < kMaxPlayers; ++k) {
    const PlayerSlot& slot = world.player_table[k];
    if (slot.active && slot.in_play && slot.player_id == player_id) return static_cast<int>(k);
  }
  return -1;
}

// The nearest tank in sight, keeping the current target unless another is
// clearly nearer. -1 when none is in sight.
int nearest_in_sight(const ComputerPlayer& bot, const WorldState& world) {
  const LocalTank& me = world.tank;
  const Spot eye{me.x, me.y - kEyeDrop, me.z};
  int best = -1, current = -1;
  float best_distance = kSightRange, current_distance = 0;
  for (std::size_t k = 0; k < kMaxPlayers; ++k) {
    const PlayerSlot& slot = world.player_table[k];
    if (!slot.active || !slot.in_play || slot.player_id == me.local_player_id) continue;
    if (!fair_game(bot, world, k)) continue;
    const float d = distance2d(eye, position_of(slot));
    if (d > kSightRange || !line_clear(world.level, eye, middle_of(slot), false)) continue;
    if (slot.player_id == bot.target_id) {
      current = static_cast<int>(k);
      current_distance = d;
    }
    if (d < best_distance) {
      best = static_cast<int>(k);
      best_distance = d;
    }
  }
  if (current >= 0 && current_distance <= best_distance * kStickToTarget) return current;
  return best;
}

// Who to fight: a new target is acted on only after the reaction time; one
// that slips out of sight is remembered for a while.
int update_target(ComputerPlayer& bot, const WorldState& world) {
  const int seen = nearest_in_sight(bot, world);
  if (seen >= 0) {
    const uint32_t id = world.player_table[static_cast<std::size_t>(seen)].player_id;
    if (id != bot.target_id) {
      bot.target_id = id;
      bot.reaction_left = bot.traits.reaction_frames;
    }
    bot.unseen_frames = 0;
  } else if (bot.target_id != 0 && ++bot.unseen_frames > kTargetMemoryFrames) {
    bot.target_id = 0;
  }
  int slot = bot.target_id != 0 ? find_slot(world, bot.target_id) : -1;
  if (slot >= 0 && !fair_game(bot, world, static_cast<std::size_t>(slot))) slot = -1;
  if (slot < 0) bot.target_id = 0;
  if (bot.reaction_left > 0) --bot.reaction_left;
  return slot;
}

// Where the shell and the target meet: the shell leaves 1 ahead of the
// tank's centre and flies speed per frame; the target keeps its velocity.
Spot lead_point(const Spot& from, const Spot& target, const Spot& velocity, float shell_per_frame) {
  Spot aim = target;
  float frames = std::max(0.0f, (distance2d(from, target) - 1.0f) / shell_per_frame);
  for (int i = 0; i < 4; ++i) {
    const float ahead = frames + kLatencyFrames;
    aim = Spot{target.x + velocity.x * ahead, target.y, target.z + velocity.z * ahead};
    frames = std::max(0.0f, (distance2d(from, aim) - 1.0f) / shell_per_frame);
  }
  return aim;
}

void redraw_aim_error(ComputerPlayer& bot) {
  if (--bot.aim_error_left > 0) return;
  bot.aim_error_left = bot.traits.aim_error_frames;
  bot.aim_error_heading = random_signed(bot) * bot.traits.aim_error_degrees;
  bot.aim_error_pitch = random_signed(bot) * bot.traits.aim_error_degrees / 3.0f;
}

Aim aim_at_target(ComputerPlayer& bot, const WorldState& world, int slot_index, float step) {
  const LocalTank& me = world.tank;
  const PlayerSlot& target = world.player_table[static_cast<std::size_t>(slot_index)];
  const Spot from = position_of(me);
  Aim aim;
  aim.target_bearing = bearing(from, position_of(target));
  if (bot.reaction_left > 0) return aim;
  aim.engaged = true;
  const Spot at = bot.traits.leads_target
                      ? lead_point(from, position_of(target),
                                   velocity_of(bot.tracks[static_cast<std::size_t>(slot_index)]),
                                   kShellSpeed * step)
                      : position_of(target);
  redraw_aim_error(bot);
  aim.distance = std::max(distance2d(from, at), 1.0f);
  aim.heading = bearing(from, at) + bot.aim_error_heading;
  // A straight shell from the gun reaches the target's middle when the
  // sine of the pitch is the drop over the distance (negative pitch aims up).
  const float rise = (me.y - kMuzzleDrop) - (target.y - kTankMiddle);
  const float pitch = std::asin(std::clamp(rise / aim.distance, -1.0f, 1.0f)) * kDegreesPerRadian;
  aim.pitch = std::clamp(pitch + bot.aim_error_pitch, kPitchLow, kPitchHigh);
  const Spot gun{me.x, me.y - kMuzzleDrop, me.z};
  aim.line_open = line_clear(world.level, gun, middle_of(target), true);
  return aim;
}

// ---------------------------------------------------------------------------
// Driving

struct Keys {
  bool up = false, down = false, left = false, right = false;
};

void choose_waypoint(ComputerPlayer& bot, const Spot& from, const LevelTable& level) {
  bot.frames_without_progress = 0;
  if (bot.ground.count == 0) {
    bot.waypoint = -1;
    return;
  }
  int32_t pick = 0;
  for (int32_t tries = 0; tries < kWaypointTries; ++tries) {
    pick = random_below(bot, bot.ground.count);
    const Spot& spot = bot.ground.points[static_cast<std::size_t>(pick)];
    if (distance2d(from, spot) >= kFarEnoughWaypoint && drive_clear(level, from, spot)) break;
  }
  bot.waypoint = pick;
  bot.closest_to_waypoint = distance2d(from, bot.ground.points[static_cast<std::size_t>(pick)]);
}

// The heading to drive along when not fighting: toward the waypoint, a new
// one on arrival or when it stops getting nearer.
float wander_heading(ComputerPlayer& bot, const WorldState& world) {
  const Spot here = position_of(world.tank);
  if (bot.waypoint < 0) choose_waypoint(bot, here, world.level);
  if (bot.waypoint < 0) return world.tank.hull_heading + 30.0f;  // no open ground known: circle
  float d = distance2d(here, bot.ground.points[static_cast<std::size_t>(bot.waypoint)]);
  if (d < bot.closest_to_waypoint - 0.5f) {
    bot.closest_to_waypoint = d;
    bot.frames_without_progress = 0;
  } else if (++bot.frames_without_progress > kGiveUpWaypointFrames || d < kArrived) {
    choose_waypoint(bot, here, world.level);
  }
  return bearing(here, bot.ground.points[static_cast<std::size_t>(bot.waypoint)]);
}

// Across the line of fire, nearer or farther as the range asks; the side
// changes now and then, and when the way that side is blocked.
float dodge_heading(ComputerPlayer& bot, const WorldState& world, const Aim& aim) {
  if (--bot.strafe_left <= 0) {
    bot.strafe_left = kStrafeFrames + random_below(bot, kStrafeSpread);
    if (random_below(bot, 2) == 0) bot.strafe_side = -bot.strafe_side;
  }
  const float offset = aim.distance > 30.0f ? 45.0f : aim.distance < 10.0f ? 120.0f : 90.0f;
  float heading = aim.target_bearing + static_cast<float>(bot.strafe_side) * offset;
  if (bot.frame % 10 == 0) {
    const Spot here = position_of(world.tank);
    const float a = heading / kDegreesPerRadian;
    const Spot ahead{here.x + std::sin(a) * kStrafeLookAhead, here.y,
                     here.z + std::cos(a) * kStrafeLookAhead};
    if (!drive_clear(world.level, here, ahead)) {
      bot.strafe_side = -bot.strafe_side;
      heading = aim.target_bearing + static_cast<float>(bot.strafe_side) * offset;
    }
  }
  return heading;
}

// Keys that drive along the heading. Up and Down also turn the hull toward
// the turret, so the course is driven forward when it is near the turret's
// heading and in reverse when it is far from it. The hull is steered with
// Left and Right; the throttle is held while the hull is near the course,
// or while its own pull toward the turret turns the hull the right way.
Keys steer(const LocalTank& me, float course) {
  Keys keys;
  const bool reverse = std::fabs(wrap180(course - me.turret_heading)) > kReverseBeyond;
  const float hull_goal = reverse ? course + 180.0f : course;
  const float error = wrap180(hull_goal - me.hull_heading);
  const float pull = wrap180(me.turret_heading - me.hull_heading);
  keys.right = error > kSteerDeadBand;
  keys.left = error < -kSteerDeadBand;
  if (std::fabs(error) < kThrottleWindow || error * pull > 0.0f) (reverse ? keys.down : keys.up) = true;
  return keys;
}

// Frames in a row in which the tank, under way, moved much less than its
// speed: pressed against something.
void note_blocking(ComputerPlayer& bot, const LocalTank& me) {
  const Spot here = position_of(me);
  const float moved = distance2d(bot.last_position, here);
  bot.last_position = here;
  const float speed = std::fabs(me.speed);
  bot.blocked_frames = (speed > kUnderWay && moved < kBlockedShare * speed) ? bot.blocked_frames + 1 : 0;
}

struct Drive {
  Keys keys;
  float course = 0;      // the heading it means to travel along
  bool backing = false;  // backing off an obstacle
};

Drive drive(ComputerPlayer& bot, const WorldState& world, const Aim& aim) {
  const LocalTank& me = world.tank;
  note_blocking(bot, me);
  Drive drive;
  if (bot.reverse_left > 0) {
    --bot.reverse_left;
    drive.backing = true;
    drive.keys.down = true;
    (bot.reverse_turn > 0 ? drive.keys.right : drive.keys.left) = true;
    return drive;
  }
  const bool dodging = aim.engaged && bot.traits.dodges;
  drive.course = dodging ? dodge_heading(bot, world, aim) : wander_heading(bot, world);
  drive.keys = steer(me, drive.course);
  // Under way yet hardly moving: a wall. Back off turning, then go elsewhere.
  if (bot.blocked_frames > kBlockedFrames) {
    bot.blocked_frames = 0;
    bot.reverse_left = kReverseFrames;
    bot.reverse_turn = random_below(bot, 2) == 0 ? 1 : -1;
    bot.strafe_side = -bot.strafe_side;
    bot.waypoint = -1;
  }
  return drive;
}

// ---------------------------------------------------------------------------
// The hands

void press(InputState& input, uint8_t scan_code) { input.key_state[scan_code] = kKeyDownBit; }

// Counts that move the reading by `want` degrees this frame, given that
// the reading averages them with the last one; as fast as a hand goes.
int32_t hand_counts(float want_degrees, int32_t last_reading, int32_t fastest) {
  const auto wanted = static_cast<int32_t>(std::lround(want_degrees / kMouseDegreesPerCount));
  return std::clamp(2 * wanted - last_reading, -fastest, fastest);
}

void wait_to_enter(ComputerPlayer& bot, InputState& input) {
  if (bot.entry_wait < 0) {
    bot.entry_wait = kEntryPauseFrames + random_below(bot, kEntryPauseSpread);
    bot.target_id = 0;
    bot.waypoint = -1;
    bot.reverse_left = 0;
    bot.blocked_frames = 0;
  }
  if (bot.entry_wait > 0) {
    --bot.entry_wait;
  } else {
    input.mouse_button = 1;
  }
  take_mouse_motion(input, 0, 0);
}

}  // namespace

const SkillTraits& skill_traits(int32_t skill) {
  return kSkills[std::clamp(skill, kEasiestSkill, kHardestSkill) - kEasiestSkill];
}

void start_computer_player(ComputerPlayer& bot, int32_t skill, uint32_t seed, const LevelTable& level) {
  bot = ComputerPlayer{};
  bot.traits = skill_traits(skill);
  bot.random_state = seed;
  find_open_ground(level, bot.ground);
}

void hear_status(ComputerPlayer& bot, uint32_t player_id) {
  HeardStatus* place = &bot.heard[0];
  for (HeardStatus& heard : bot.heard) {
    if (heard.player_id == player_id) {
      place = &heard;
      break;
    }
    if (heard.at < place->at) place = &heard;  // else the one heard from longest ago
  }
  place->player_id = player_id;
  place->at = bot.clock;
}

void hear_shot(ComputerPlayer& bot, uint32_t owner_id) {
  for (TankTrack& track : bot.tracks)
    if (track.player_id == owner_id && track.samples > 0) track.entered_at = bot.clock - kStillGraceTicks;
}

void decide(ComputerPlayer& bot, const WorldState& world, InputState& input) {
  ++bot.frame;
  bot.clock += step_of(world);
  record_tanks(bot, world);
  input.key_state.fill(0);
  input.mouse_button = 0;
  const LocalTank& me = world.tank;
  if (world.awaiting_entry || !me.in_play) {
    wait_to_enter(bot, input);
    return;
  }
  if (bot.entry_wait >= 0) {
    bot.entry_wait = -1;
    bot.last_position = position_of(me);
  }

  const float step = step_of(world);
  const int target = update_target(bot, world);
  Aim aim = target >= 0 ? aim_at_target(bot, world, target, step) : Aim{};
  const Drive way = drive(bot, world, aim);
  const Keys& keys = way.keys;
  if (!aim.engaged) {
    // Looking where it goes; the turret stays while it backs off.
    aim.heading = way.backing ? me.turret_heading : way.course;
    aim.pitch = 0.0f;
  }
  if (keys.up) press(input, kScanUp);
  if (keys.down) press(input, kScanDown);
  if (keys.left) press(input, kScanLeft);
  if (keys.right) press(input, kScanRight);

  // The keys turn the turret with the hull; the hand makes up for it.
  const float key_turn = keys.right ? step : keys.left ? -step : 0.0f;
  const float gain = bot.traits.aim_gain;
  const float turn = wrap180(aim.heading - me.turret_heading) * gain - key_turn;
  const float lift = (aim.pitch - me.gun_pitch) * gain;
  take_mouse_motion(input, hand_counts(turn, input.mouse_dx, bot.traits.hand_counts),
                    hand_counts(lift, input.mouse_dy, bot.traits.hand_counts));

  // Fire when the gun will be ready this frame and will point close enough.
  const float turret_next =
      me.turret_heading + static_cast<float>(input.mouse_dx) * kMouseDegreesPerCount + key_turn;
  const float pitch_next = me.gun_pitch + static_cast<float>(input.mouse_dy) * kMouseDegreesPerCount;
  const float tolerance = bot.traits.fire_tolerance_degrees;
  if (aim.engaged && aim.line_open && aim.distance <= bot.traits.fire_range && me.fire_cooldown <= step &&
      std::fabs(wrap180(aim.heading - turret_next)) < tolerance &&
      std::fabs(aim.pitch - pitch_next) < 2.0f * tolerance)
    input.mouse_button = 1;
}
