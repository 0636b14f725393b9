#include "audio/sound.h"

#include <cstdio>
#include <vector>

#include "audio/wave_reader.h"
#include "core/game.h"
#include "platform/sound_device.h"

namespace {

// No sound archive is anywhere near this; a larger file is refused rather
// than read into memory.
constexpr long kMaxWaveFileBytes = 16L * 1024 * 1024;

// Reads the file from `offset` to its end (the wave's chunk offsets are then
// relative to the start of `bytes`).
bool read_file_from(const char* file_name, long offset, std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(file_name, "rb");
  if (!file) return false;
  bool ok = std::fseek(file, 0, SEEK_END) == 0;
  const long size = ok ? std::ftell(file) : -1;
  ok = ok && size >= 0 && size <= kMaxWaveFileBytes && offset <= size &&
       std::fseek(file, offset, SEEK_SET) == 0;
  if (ok) {
    bytes.resize(static_cast<std::size_t>(size - offset));
    ok = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
  }
  std::fclose(file);
  return ok;
}

int32_t lowest_free_slot(const SoundState& sound) {
  for (std::size_t i = 0; i < sound.sound_table.size(); ++i)
    if (!sound.sound_table[i].loaded) return static_cast<int32_t>(i);
  return -1;
}

bool valid_slot(int32_t slot) { return slot >= 0 && slot < static_cast<int32_t>(kSoundSlotCount); }

}  // namespace

int sound_open(Game& game) {
  SoundState& sound = game.sound;
  for (std::size_t i = 0; i < sound.sound_table.size(); ++i) {
    SoundSlot& slot = sound.sound_table[i];
    platform::release_sound_buffer(slot.buffer);
    slot = SoundSlot{};
    slot.slot_index = static_cast<int32_t>(i);
  }
  if (!sound.device) sound.device = platform::open_sound_device();
  return sound.device ? 1 : 6;
}

int32_t load_wave(Game& game, const char* file_name, int32_t offset) {
  SoundState& sound = game.sound;
  if (!game.settings.sound_enabled || offset < 0) return -1;
  const int32_t index = lowest_free_slot(sound);
  if (index < 0) return -1;

  std::vector<uint8_t> bytes;
  WaveLocation wave;
  if (!read_file_from(file_name, offset, bytes) || !locate_wave(bytes.data(), bytes.size(), 0, wave))
    return -1;
  // Every wave is played as 8-bit mono at 22,050 Hz, whatever its format
  // chunk says: only the PCM tag is checked.
  platform::SoundBuffer* buffer = platform::create_sound_buffer(
      sound.device, bytes.data() + wave.data_offset, wave.data_bytes, index);
  if (!buffer) return -1;

  SoundSlot& slot = sound.sound_table[static_cast<std::size_t>(index)];
  slot.buffer = buffer;
  slot.file_sample_rate = static_cast<int32_t>(wave.format.samples_per_second);
  slot.data_bytes = static_cast<int32_t>(wave.data_bytes);
  slot.slot_index = index;
  slot.loaded = 1;
  return index;
}

int load_sound_set(Game& game) {
  SoundState& sound = game.sound;
  sound.spare_sound = load_wave(game, kSoundArchiveName, kSpareSoundOffset);
  if (sound.spare_sound == -1) return 6;
  sound.shot_sound = load_wave(game, kSoundArchiveName, kShotSoundOffset);
  if (sound.shot_sound == -1) return 6;
  return 1;
}

int play_sound(Game& game, int32_t slot) {
  if (!game.settings.sound_enabled || !valid_slot(slot)) return 1;
  platform::SoundBuffer* buffer = game.sound.sound_table[static_cast<std::size_t>(slot)].buffer;
  if (!buffer) return 1;
  return platform::play_sound_buffer(buffer) ? 1 : 0;
}

int sound_close(Game& game) {
  SoundState& sound = game.sound;
  // The slots keep their records; only the buffers and the device go.
  for (SoundSlot& slot : sound.sound_table) {
    platform::release_sound_buffer(slot.buffer);
    slot.buffer = nullptr;
  }
  platform::close_sound_device(sound.device);
  sound.device = nullptr;
  return 1;
}
