// Sound effects: up to 256 loaded waves, each replayed from its start.
#pragma once

#include <cstdint>

struct Game;

struct SoundState {
  int32_t device_open = 0;
  int32_t spare_sound = -1;
  int32_t shot_sound = -1;
};

int sound_open(Game& game);      // 1, or 6 without a sound device
int load_sound_set(Game& game);  // 1, or 6
int play_sound(Game& game, int32_t slot);
int sound_close(Game& game);
