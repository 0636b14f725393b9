#include "core/game_core.h"

void seed_random(GameCore& game, uint32_t seed) { game.random_state = seed; }

int32_t next_random(GameCore& game) {
  // The classic linear congruential generator, 15 bits per draw.
  game.random_state = game.random_state * 1103515245u + 12345u;
  return static_cast<int32_t>((game.random_state >> 16) & 0x7FFF);
}
