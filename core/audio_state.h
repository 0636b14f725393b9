// The sound effects' and the music's tables (audio/ plays them).
#pragma once

#include <array>
#include <cstdint>

#include "platform/midi.h"

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

struct MusicTrack {
  int32_t track_number;
  const char* title;
  int32_t length_ms;
};

enum MusicSlotStatus : int32_t {
  MUSIC_SLOT_EMPTY = 0,
  MUSIC_SLOT_LOADED = 1,
  MUSIC_SLOT_PLAYING = 2,
  MUSIC_SLOT_STOPPED = 3,
};

struct MusicSlot {
  platform::MidiSegment* segment = nullptr;  // owned; null when the slot is empty
  int32_t segment_state = 0;                 // the platform's result of the last play
  int32_t status = MUSIC_SLOT_EMPTY;
};

struct MidiPort {
  platform::MidiPortCaps caps{};
  char port_name[128] = {};
};

inline constexpr std::size_t kMusicSlotCount = 64;
inline constexpr std::size_t kMidiPortCapacity = 256;

// The platform's MIDI operations the music uses. The platform's own by
// default; tests put recording stand-ins in their place.
struct MidiServices {
  platform::MidiPerformance* (*create_performance)();
  bool (*init_performance)(platform::MidiPerformance*, platform::SoundDevice*);
  int32_t (*enum_port)(platform::MidiPerformance*, int32_t index, platform::MidiPortCaps& caps);
  int32_t (*create_port)(platform::MidiPerformance*, const platform::MidiPortCaps& caps,
                         int32_t channel_groups, platform::MidiOutputPort*& port);
  int32_t (*activate_port)(platform::MidiOutputPort*);
  int32_t (*add_port)(platform::MidiPerformance*, platform::MidiOutputPort*);
  platform::MidiSegment* (*create_segment)(const uint8_t* bytes, uint32_t size);
  void (*release_segment)(platform::MidiSegment*);
  int32_t (*play_segment)(platform::MidiPerformance*, platform::MidiSegment*);
  void (*stop_segment)(platform::MidiPerformance*, platform::MidiSegment*);
  void (*close_performance)(platform::MidiPerformance*);
};

struct MusicState {
  const MidiServices* services = nullptr;  // null: the platform's
  platform::MidiPerformance* performance = nullptr;
  platform::MidiOutputPort* port = nullptr;  // held by the performance
  std::array<MusicSlot, kMusicSlotCount> music_slot_table{};
  std::array<MidiPort, kMidiPortCapacity> midi_port_list{};
  int32_t midi_port_count = 0;
  int32_t midi_port_index = 0;
  int32_t music_track_slot = -1;
  int32_t playing_music_slot = -1;
};
