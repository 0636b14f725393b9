// The local tank's step: controls, physics, collisions, lifts, death and the
// camera, then the projectiles and the smoke.
#pragma once

struct GameCore;

// Advances the world by one frame; step = 85 / frames per second. Returns 1.
int simulation_step(GameCore& game, float step);

// The entry prompt's action, whoever shows it: with the first mouse button
// down and no key pause running, the tank enters play at the origin with
// full health and a short gun wait. Returns true when it entered.
bool enter_play_on_fire(GameCore& game);
