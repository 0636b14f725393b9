// The shared state of one game: players, the local tank, projectiles, smoke,
// the camera and the flags that steer the frame. Fixed-size tables, zero at
// program start; nothing is allocated per tank, shot or particle.
#pragma once

#include <array>
#include <cstdint>

#include "core/level_table.h"

inline constexpr std::size_t kMaxPlayers = 8;
inline constexpr std::size_t kProjectileCount = 256;
inline constexpr std::size_t kParticleCount = 1000;
inline constexpr std::size_t kPlayerSlotNameSize = 40;  // 39 characters + NUL
inline constexpr std::size_t kChatLineSize = 256;

// One player of the current game, the local player included.
struct PlayerSlot {
  int32_t active = 0;
  float x = 0, y = 0, z = 0;
  float hull_heading = 0;
  float turret_heading = 0;
  float gun_pitch = 0;
  char name[kPlayerSlotNameSize] = {};
  uint32_t player_id = 0;
  int32_t health = 0;
  int32_t in_play = 0;  // only slots in play can be hit
};

// The local player's own tank.
struct LocalTank {
  float x = 0, y = 0, z = 0;
  float speed = 0;           // along hull_heading, -0.2..0.2 per step
  float vertical_speed = 0;  // per step, never below -0.3; kept across entry
  float hull_heading = 0;
  float turret_heading = 0;
  float gun_pitch = 0;  // -90..8, negative aims upward
  float fire_cooldown = 0;
  uint32_t local_player_id = 0;
  int32_t health = 0;
  int32_t in_play = 0;
  // The tank's lives: 0 until it first enters play, one more at every
  // entry. Statuses carry it, so that the host knows which life they are of.
  uint32_t life = 0;
};

// One shell in flight, indexed by the number the host assigned.
struct Projectile {
  int32_t active = 0;
  float x = 0, y = 0, z = 0;
  float vx = 0, vy = 0, vz = 0;  // per step; x moves by minus vx
  float heading = 0;
  int32_t hitscan = 0;
  uint32_t owner_id = 0;
};

// One smoke puff of the ring.
struct Particle {
  int32_t active = 0;
  float x = 0, y = 0, z = 0;
  float vx = 0, vy = 0, vz = 0;  // per step; x moves by minus vx
  float gravity = 0;             // taken from vy every frame
  float view_distance = 0;
  float red = 0, green = 0, blue = 0;
  float life = 0;  // 1 at spawn, 0.02 less per frame; also the alpha
};

struct Camera {
  float camera_x = 0, camera_y = 0, camera_z = 0;
  float camera_pitch = 0, camera_heading = 0, camera_roll = 0;
};

struct WorldState {
  std::array<PlayerSlot, kMaxPlayers> player_table{};
  LocalTank tank{};
  std::array<Projectile, kProjectileCount> projectile_table{};
  std::array<Particle, kParticleCount> particle_pool{};
  Camera camera{};
  LevelTable level{};

  int32_t quit_requested = 0;
  int32_t app_active = 0;
  int32_t in_session = 0;
  int32_t pause_menu_open = 0;
  int32_t chat_entry_open = 0;
  int32_t awaiting_entry = 0;
  uint32_t key_delay = 0;
  int32_t frames_per_second = 60;
  // Double, not float: a float of milliseconds since start-up is only
  // good to a millisecond after four hours, which would upset both the
  // frame-rate measurement and the frame hold.
  double frame_start_ms = 0;
  float frame_counter = 0;
  int32_t music_track = 0;
  float music_track_start_ms = 0;
  char chat_line[kChatLineSize] = {};
  int32_t projectile_next = 0;  // host only: the number of the next shot
  int32_t particle_next = 0;    // the ring slot the next puff overwrites
};
