// Sound effects: up to 256 loaded waves, each replayed from its start.
#pragma once

#include <array>
#include <cstdint>

struct Game;

namespace platform {
struct SoundDevice;
struct SoundBuffer;
}  // namespace platform

struct SoundSlot {
  platform::SoundBuffer* buffer = nullptr;  // owned; null when the slot is empty
  int32_t loaded = 0;
  int32_t file_sample_rate = 0;  // as the wave states it; playback is always 22,050 Hz
  int32_t data_bytes = 0;
  int32_t slot_index = 0;
};

inline constexpr std::size_t kSoundSlotCount = 256;
inline constexpr int32_t WAVE_BUFFER_RATE = 22050;

inline constexpr const char* kSoundArchiveName = "sound.pak";
inline constexpr int32_t kSpareSoundOffset = 1;
inline constexpr int32_t kShotSoundOffset = 29553;

struct SoundState {
  platform::SoundDevice* device = nullptr;  // null while sound is closed
  std::array<SoundSlot, kSoundSlotCount> sound_table{};
  int32_t spare_sound = -1;
  int32_t shot_sound = -1;
};

int sound_open(Game& game);  // 1, or 6 without a sound device
// Loads the RIFF WAVE found at `offset` of `file_name` into the lowest free
// slot; returns the slot, or -1.
int32_t load_wave(Game& game, const char* file_name, int32_t offset);
int load_sound_set(Game& game);  // 1, or 6
// Plays a slot from its first sample. 1, or 0 when the device refuses.
int play_sound(Game& game, int32_t slot);
int sound_close(Game& game);
