// A computer player's decisions: which tank to fight, where to aim, when
// to fire and where to drive. It sees what a player sees (the level and the
// tanks in the player table) and acts only through the keys, the mouse
// motion and the button of an InputState, as a person's hands do. Given the
// same seed and the same world it decides the same.
#pragma once

#include <array>
#include <cstdint>

#include "bot/sight.h"
#include "core/world_state.h"
#include "world/input.h"

inline constexpr int32_t kEasiestSkill = 1;
inline constexpr int32_t kHardestSkill = 3;

// How well a skill level plays.
struct SkillTraits {
  int32_t reaction_frames;     // from seeing a new target to acting on it
  float aim_error_degrees;     // largest random error of the aim, re-drawn now and then
  int32_t aim_error_frames;    // how long one error lasts
  int32_t hand_counts;         // fastest mouse motion per frame, in counts
  float aim_gain;              // share of the remaining aim error corrected per frame
  float fire_tolerance_degrees;  // fires when the turret is this close to its aim
  float fire_range;            // and the target no farther than this
  bool leads_target;           // aims where a moving target will be
  bool dodges;                 // drives across the line of fire in a fight
};

// The traits of skill 1 (easiest) to 3 (hardest); other values are clamped.
const SkillTraits& skill_traits(int32_t skill);

inline constexpr std::size_t kTrackLength = 16;

// The last positions of one tank, one per frame, to tell its velocity, and
// when it last entered the game.
struct TankTrack {
  uint32_t player_id = 0;
  int32_t samples = 0;  // frames recorded, at most kTrackLength
  int32_t newest = 0;   // index of the latest
  std::array<Spot, kTrackLength> positions{};
  double entered_at = 0;    // the player's clock when the tank was last seen entering
  Spot entered_where{};     // and where
  bool stayed = false;      // it has not moved away from there since
  int32_t last_health = 0;  // a rise is a new entry
};

// When a player's status last arrived.
struct HeardStatus {
  uint32_t player_id = 0;  // 0: unused
  double at = 0;           // on the player's clock
};

struct ComputerPlayer {
  SkillTraits traits{};
  uint32_t random_state = 1;
  OpenGround ground{};
  int32_t frame = 0;
  double clock = 0;  // game time in 85ths of a second, whatever the frame rate

  // The statuses of the other players as they arrive: a player whose
  // statuses stop is frozen (its program runs no frames) and left alone.
  std::array<HeardStatus, kMaxPlayers> heard{};

  // Waiting to enter: frames left before pressing fire; -1 in play.
  int32_t entry_wait = -1;

  // The fight.
  uint32_t target_id = 0;  // 0: none
  int32_t reaction_left = 0;
  int32_t unseen_frames = 0;
  float aim_error_heading = 0, aim_error_pitch = 0;
  int32_t aim_error_left = 0;
  int32_t strafe_side = 1;  // +1 or -1: which way it crosses the line of fire
  int32_t strafe_left = 0;

  // Driving.
  int32_t waypoint = -1;
  float closest_to_waypoint = 0;
  int32_t frames_without_progress = 0;
  int32_t reverse_left = 0;  // backing off an obstacle
  int32_t reverse_turn = 1;
  int32_t blocked_frames = 0;  // frames in a row under way but hardly moving
  Spot last_position{};

  std::array<TankTrack, kMaxPlayers> tracks{};
};

// A fresh player of the skill, its choices drawn from the seed, on the
// given level.
void start_computer_player(ComputerPlayer& bot, int32_t skill, uint32_t seed, const LevelTable& level);

// A status of the player arrived: the game's receiving tells the
// decision-maker of each one as it is handled. Tanks whose statuses have
// stopped arriving are not fought.
void hear_status(ComputerPlayer& bot, uint32_t player_id);

// A shot of the player arrived, numbered by the host: a tank that has
// opened fire since it entered is fought from then on.
void hear_shot(ComputerPlayer& bot, uint32_t owner_id);

// This frame's decision from the world as the player sees it, written into
// input as the devices would be read: the arrow keys, the mouse motion (the
// device's counts, taken as every reading of the mouse takes them) and the
// first button. It never touches the world.
void decide(ComputerPlayer& bot, const WorldState& world, InputState& input);
