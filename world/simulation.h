// The local tank's step: controls, physics, collisions, lifts, death and the
// camera, then the projectiles and the smoke.
#pragma once

struct GameCore;

// Advances the world by one frame; step = 85 / frames per second. Returns 1.
int simulation_step(GameCore& game, float step);
