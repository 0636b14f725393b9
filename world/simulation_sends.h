// What the simulation tells the other programs of the game: the local
// tank's shots, and on the host its judgement of every shell. The game
// message protocol implements these (net/protocol.cpp); the world only
// calls them.
#pragma once

#include <cstddef>
#include <cstdint>

struct GameCore;

// The longest event text one message carries, its NUL included.
inline constexpr std::size_t kEventTextSize = 256;

// Each returns 1.
int send_fire(GameCore& game, float x, float y, float z, float vx, float vy, float vz, float heading,
              int32_t hitscan, uint32_t owner_id);
int send_damage(GameCore& game, int32_t slot_index, int32_t damage);
int send_projectile_gone(GameCore& game, int32_t number);
int send_event_text(GameCore& game, const char* text);
// Host: a kill for the score table, a death to the victim and a kill to the
// shooter (net/score.cpp); the table then reaches every program.
int record_kill(GameCore& game, uint32_t victim_id, uint32_t killer_id);
