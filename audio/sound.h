// Sound effects: up to 256 loaded waves, each replayed from its start.
#pragma once

#include <cstdint>

#include "core/audio_state.h"

struct Game;

int sound_open(Game& game);  // 1, or 6 without a sound device
// Loads the RIFF WAVE found at `offset` of `file_name` into the lowest free
// slot; returns the slot, or -1.
int32_t load_wave(Game& game, const char* file_name, int32_t offset);
int load_sound_set(Game& game);  // 1, or 6
// Plays a slot from its first sample. 1, or 0 when the device refuses.
int play_sound(Game& game, int32_t slot);
int sound_close(Game& game);
