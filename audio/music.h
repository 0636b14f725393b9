// Background music: thirteen MIDI tracks in a fixed rotation on a selectable
// output port. Tracks change when the table's playing time has run out, not
// when a file ends.
#pragma once

#include <array>
#include <cstdint>

#include "platform/midi.h"

struct Game;

struct MusicTrack {
  int32_t track_number;
  const char* title;
  int32_t length_ms;
};

inline constexpr std::size_t kMusicTrackCount = 13;
extern const std::array<MusicTrack, kMusicTrackCount> music_track_table;

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

const MidiServices& platform_midi_services();

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

// Sets the music up on the sound device; with `enumerate` the output ports
// are listed anew and the first is chosen. 1, or 7 (no sound device, no
// output port at all).
int music_open(Game& game, int32_t enumerate);
// Creates and adds the port of list entry `index`; failures only go to the
// message log, and the music then stays silent until another port is chosen.
// Always 1.
int open_music_port(Game& game, int32_t index);
// Loads "name" from the current directory into the lowest empty slot; the
// slot, or -1. Files always play once: `repeats` must be 0.
int32_t load_music_file(Game& game, const char* file_name, int32_t repeats);
int play_music_slot(Game& game, int32_t slot);
int stop_music_slot(Game& game, int32_t slot);
int unload_music_slot(Game& game, int32_t slot);
int unload_all_music(Game& game);
int music_close(Game& game);
int next_music_track(Game& game);  // 1, or 7 when the file cannot be loaded
void update_music_rotation(Game& game);
void switch_midi_port(Game& game);
// The name of the output port in use, for the pause menu.
const char* current_midi_port_name(const Game& game);
// The name the "CreatePort FAILED: %s" message gives a failure code.
const char* port_failure_name(int32_t code, char* buffer, std::size_t size);
