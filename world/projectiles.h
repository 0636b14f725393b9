// Shells and smoke: how a shot leaves the local tank, how every projectile
// flies and is removed, how the host turns hits into damage and kill
// announcements, and the ring of smoke puffs that trails every shell.
#pragma once

#include <array>
#include <cstdint>

struct GameCore;

inline constexpr std::array<const char*, 6> kill_verbs = {
    "was mashed by",
    "got blown to hell by",
    "was blown into chunky kibbles by",
    "couldn't take the heat from",
    "left a nasty mess, courtesy of",
    "sucked serious arse from",
};

// The killer's name in a kill announcement when no player slot holds the
// shooter's id any more.
inline constexpr const char* kDepartedKillerName = "a departed player";

// Sends an unnumbered shot from the local tank's muzzle to the host. The
// projectile exists only once the host has numbered it.
void fire_shell(GameCore& game);
// Moves every active projectile by one step; on the host also ends it on a
// box, a tank or the level bounds, and damages the tanks it reaches.
void advance_projectiles(GameCore& game, float step);
// Writes one puff into the ring slot particle_next (alive or not). Returns 1.
int spawn_particle(GameCore& game, float x, float y, float z, int32_t heading, float speed,
                   float view_distance, float red, float green, float blue, float gravity);
// Ages, pulls down and moves every live puff.
void advance_particles(GameCore& game, float step);
