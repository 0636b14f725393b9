#include "audio/music.h"

#include "shell/game.h"

const std::array<MusicTrack, kMusicTrackCount> music_track_table = {{
    {0, "Track 00", 191000},
    {1, "Track 01", 239000},
    {2, "Track 02", 223000},
    {3, "Track 03", 402000},
    {4, "Track 04", 479000},
    {5, "Track 05", 321000},
    {6, "Track 06", 132000},
    {7, "Track 07", 229000},
    {8, "Track 08", 267000},
    {9, "Track 09", 219000},
    {10, "Track 10", 317000},
    {11, "Track 11", 172000},
    {12, "Track 12", 217000},
}};

// Stand-ins until music lands.
int music_open(Game&, int32_t) { return 7; }
int next_music_track(Game& game) {
  game.world.music_track = (game.world.music_track + 1) % 13;
  return 1;
}
int play_music_slot(Game&, int32_t) { return 1; }
int stop_music_slot(Game&, int32_t) { return 1; }
int music_close(Game&) { return 1; }
void update_music_rotation(Game&) {}
void switch_midi_port(Game&) {}
const char* current_midi_port_name(const Game&) { return "None"; }
