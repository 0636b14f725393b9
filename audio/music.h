// Background music: thirteen MIDI tracks in a fixed rotation on a selectable
// output port.
#pragma once

#include <array>
#include <cstdint>

struct Game;

struct MusicTrack {
  int32_t track_number;
  const char* title;
  int32_t length_ms;
};

inline constexpr std::size_t kMusicTrackCount = 13;
extern const std::array<MusicTrack, kMusicTrackCount> music_track_table;

struct MusicState {
  int32_t music_track_slot = -1;
  int32_t playing_music_slot = -1;
  int32_t midi_port_count = 0;
  int32_t midi_port_index = 0;
};

int music_open(Game& game, int32_t enumerate);  // 1, or 7
int next_music_track(Game& game);               // 1, or 7
int play_music_slot(Game& game, int32_t slot);
int stop_music_slot(Game& game, int32_t slot);
int music_close(Game& game);
void update_music_rotation(Game& game);
void switch_midi_port(Game& game);
// The name of the output port in use, for the pause menu.
const char* current_midi_port_name(const Game& game);
