// Background music: thirteen MIDI tracks in a fixed rotation on a selectable
// output port. Tracks change when the table's playing time has run out, not
// when a file ends.
#pragma once

#include <array>
#include <cstdint>

#include "core/audio_state.h"

struct Game;

inline constexpr std::size_t kMusicTrackCount = 13;
extern const std::array<MusicTrack, kMusicTrackCount> music_track_table;

const MidiServices& platform_midi_services();

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
