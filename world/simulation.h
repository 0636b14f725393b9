// The local tank's step: controls, physics, collisions, lifts, death and the
// camera, then the projectiles and the smoke.
#pragma once

struct GameCore;

// Advances the world by one frame; step = 85 / frames per second. A tank
// that has got below the level is put back at an entry place. Returns 1.
int simulation_step(GameCore& game, float step);

// The entry prompt's action, whoever shows it: with the first mouse button
// down and no key pause running, the tank enters play at its entry place
// (world/entry.h) with full health, a short gun wait and one more life.
// Returns true when it entered.
bool enter_play_on_fire(GameCore& game);
