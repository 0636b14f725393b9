#include "audio/music.h"

#include <climits>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "audio/midi_file.h"
#include "core/game.h"
#include "net/message_log.h"

const std::array<MusicTrack, kMusicTrackCount> music_track_table = {{
    {0, "Iron Dawn", 191000},
    {1, "Treads of Thunder", 239000},
    {2, "Steel Horizon", 223000},
    {3, "Crossfire Valley", 402000},
    {4, "The Long Siege", 479000},
    {5, "Armour Plate Blues", 321000},
    {6, "Flank Run", 132000},
    {7, "Smoke on the Ridge", 229000},
    {8, "Turret Waltz", 267000},
    {9, "Night Convoy", 219000},
    {10, "Kill Zone", 317000},
    {11, "Last Shell", 172000},
    {12, "Victory Road", 217000},
}};

const MidiServices& platform_midi_services() {
  static const MidiServices services{
      platform::create_midi_performance, platform::init_midi_performance,
      platform::enum_midi_port,          platform::create_midi_port,
      platform::activate_midi_port,      platform::add_midi_port,
      platform::create_midi_segment,     platform::release_midi_segment,
      platform::play_midi_segment,       platform::stop_midi_segment,
      platform::close_midi_performance};
  return services;
}

namespace {

// Any directory the system can name: the game may be run from deep inside
// the file tree, and its tracks must still be found there.
constexpr std::size_t kDirectoryNameSize = PATH_MAX;
// Our tracks are a few kilobytes; a larger file is refused unread.
constexpr long kMaxMusicFileBytes = 4L * 1024 * 1024;
// Enumeration stops at the platform's "no more ports", and in any case here.
constexpr int32_t kMaxPortQueries = 4096;

const MidiServices& midi(const Game& game) {
  return game.music.services ? *game.music.services : platform_midi_services();
}

MusicSlot* slot_at(Game& game, int32_t slot) {
  if (slot < 0 || slot >= static_cast<int32_t>(kMusicSlotCount)) return nullptr;
  return &game.music.music_slot_table[static_cast<std::size_t>(slot)];
}

const MusicTrack& current_row(const Game& game) {
  const int32_t track = game.world.music_track;
  const int32_t count = static_cast<int32_t>(kMusicTrackCount);
  return music_track_table[static_cast<std::size_t>(((track % count) + count) % count)];
}

void list_output_ports(Game& game) {
  MusicState& music = game.music;
  music.midi_port_count = 0;
  music.midi_port_index = 0;
  for (int32_t index = 0; index < kMaxPortQueries; ++index) {
    platform::MidiPortCaps caps;
    const int32_t result = midi(game).enum_port(music.performance, index, caps);
    if (result == platform::kMidiNoMorePorts) break;
    if (result != platform::kMidiOk || caps.port_class != platform::kMidiPortClassOutput) continue;
    if (music.midi_port_count >= static_cast<int32_t>(kMidiPortCapacity)) continue;
    MidiPort& entry = music.midi_port_list[static_cast<std::size_t>(music.midi_port_count++)];
    entry.caps = caps;
    entry.caps.description[sizeof entry.caps.description - 1] = '\0';
    std::strncpy(entry.port_name, entry.caps.description, sizeof entry.port_name - 1);
    entry.port_name[sizeof entry.port_name - 1] = '\0';
  }
}

bool read_whole_file(const char* path, std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  bool ok = std::fseek(file, 0, SEEK_END) == 0;
  const long size = ok ? std::ftell(file) : -1;
  ok = ok && size > 0 && size <= kMaxMusicFileBytes && std::fseek(file, 0, SEEK_SET) == 0;
  if (ok) {
    bytes.resize(static_cast<std::size_t>(size));
    ok = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
  }
  std::fclose(file);
  return ok;
}

// Keeps the time a switch takes out of the frame's measured duration, so the
// next simulation step does not jump.
void exclude_switch_time(Game& game, double t0) {
  game.world.frame_start_ms += now_ms(game.shell.timer) - t0;
}

}  // namespace

const char* port_failure_name(int32_t code, char* buffer, std::size_t size) {
  switch (code) {
    case platform::kMidiInvalidArg: return "E_INVALIDARG";
    case platform::kMidiSoundNotSet: return "DMUS_E_DSOUND_NOT_SET";
    case platform::kMidiNoInterface: return "E_NOINTERFACE";
    case platform::kMidiOutOfMemory: return "E_OUTOFMEMORY";
    case platform::kMidiPointer: return "E_POINTER";
    default:
      std::snprintf(buffer, size, "UNKNOWN: 0x%X", static_cast<unsigned>(code));
      return buffer;
  }
}

int music_open(Game& game, int32_t enumerate) {
  MusicState& music = game.music;
  music.port = nullptr;
  music.performance = midi(game).create_performance();
  if (!music.performance) return 7;
  if (!midi(game).init_performance(music.performance, game.sound.device)) {
    midi(game).close_performance(music.performance);
    music.performance = nullptr;
    return 7;
  }
  if (enumerate) list_output_ports(game);
  // Without a single output port there is nothing to play on: music is off.
  if (music.midi_port_count == 0) {
    midi(game).close_performance(music.performance);
    music.performance = nullptr;
    return 7;
  }
  open_music_port(game, music.midi_port_index);
  return 1;
}

int open_music_port(Game& game, int32_t index) {
  MusicState& music = game.music;
  music.port = nullptr;
  if (index < 0 || index >= music.midi_port_count) return 1;
  const MidiPort& entry = music.midi_port_list[static_cast<std::size_t>(index)];
  platform::MidiOutputPort* port = nullptr;
  int32_t code = midi(game).create_port(music.performance, entry.caps, entry.caps.max_channel_groups, port);
  char text[kLogTextSize];
  if (code != platform::kMidiOk || !port) {
    char unknown[32];
    std::snprintf(text, sizeof text, "CreatePort FAILED: %s",
                  port_failure_name(code, unknown, sizeof unknown));
    add_log_entry(game.log, LOG_NOTICE, text, "SYS");
    return 1;  // no port: nothing to activate, add or assign; the music stays silent
  }
  midi(game).activate_port(port);
  code = midi(game).add_port(music.performance, port);
  if (code != platform::kMidiOk) {
    std::snprintf(text, sizeof text, "AddPort FAILED: %d", code);
    add_log_entry(game.log, LOG_NOTICE, text, "SYS");
    return 1;
  }
  music.port = port;
  return 1;
}

int32_t load_music_file(Game& game, const char* file_name, int32_t) {
  int32_t index = 0;
  while (index < static_cast<int32_t>(kMusicSlotCount) && slot_at(game, index)->status != MUSIC_SLOT_EMPTY)
    ++index;
  if (index == static_cast<int32_t>(kMusicSlotCount)) return -1;

  char directory[kDirectoryNameSize];
  if (!getcwd(directory, sizeof directory)) return -1;
  char path[kDirectoryNameSize + 64];
  const int length = std::snprintf(path, sizeof path, "%s/%s", directory, file_name);
  if (length < 0 || static_cast<std::size_t>(length) >= sizeof path) return -1;

  std::vector<uint8_t> bytes;
  if (!read_whole_file(path, bytes) || !is_standard_midi_file(bytes.data(), bytes.size())) return -1;
  platform::MidiSegment* segment = midi(game).create_segment(bytes.data(), static_cast<uint32_t>(bytes.size()));
  if (!segment) return -1;
  MusicSlot& slot = *slot_at(game, index);
  slot.segment = segment;
  slot.segment_state = 0;
  slot.status = MUSIC_SLOT_LOADED;
  return index;
}

int play_music_slot(Game& game, int32_t slot) {
  MusicState& music = game.music;
  if (!game.settings.music_enabled) return 1;
  MusicSlot* entry = slot_at(game, slot);
  if (!entry || !entry->segment || entry->status == MUSIC_SLOT_EMPTY) return 1;
  if (music.playing_music_slot != -1) stop_music_slot(game, music.playing_music_slot);
  entry->segment_state = midi(game).play_segment(music.performance, entry->segment);
  entry->status = MUSIC_SLOT_PLAYING;
  music.playing_music_slot = slot;
  game.world.music_track_start_ms = static_cast<float>(now_ms(game.shell.timer));
  return 1;
}

int stop_music_slot(Game& game, int32_t slot) {
  if (!game.settings.music_enabled) return 1;
  MusicSlot* entry = slot_at(game, slot);
  if (!entry || !entry->segment || entry->status == MUSIC_SLOT_EMPTY) return 1;
  midi(game).stop_segment(game.music.performance, entry->segment);
  entry->status = MUSIC_SLOT_STOPPED;
  game.music.playing_music_slot = -1;
  return 1;
}

int unload_music_slot(Game& game, int32_t slot) {
  MusicSlot* entry = slot_at(game, slot);
  if (!entry || !entry->segment) return 1;
  midi(game).release_segment(entry->segment);
  *entry = MusicSlot{};
  return 1;
}

int unload_all_music(Game& game) {
  for (int32_t slot = 0; slot < static_cast<int32_t>(kMusicSlotCount); ++slot) unload_music_slot(game, slot);
  return 1;
}

int music_close(Game& game) {
  MusicState& music = game.music;
  if (!game.settings.music_enabled) return 1;
  unload_all_music(game);
  if (music.performance) midi(game).close_performance(music.performance);
  music.performance = nullptr;
  music.port = nullptr;
  music.playing_music_slot = -1;
  return 1;
}

int next_music_track(Game& game) {
  if (!game.settings.music_enabled) return 1;
  WorldState& world = game.world;
  world.music_track = (current_row(game).track_number + 1) % static_cast<int32_t>(kMusicTrackCount);
  char name[32];
  std::snprintf(name, sizeof name, "mrvnmus%.2d.mid", world.music_track);
  game.music.music_track_slot = load_music_file(game, name, 0);
  if (game.music.music_track_slot == -1) return 7;
  add_log_entry(game.log, LOG_NOTICE, current_row(game).title, "Playing");
  return 1;
}

void update_music_rotation(Game& game) {
  const double t0 = now_ms(game.shell.timer);
  if (t0 - game.world.music_track_start_ms < current_row(game).length_ms) return;
  MusicState& music = game.music;
  stop_music_slot(game, music.music_track_slot);
  unload_music_slot(game, music.music_track_slot);
  next_music_track(game);
  play_music_slot(game, music.music_track_slot);
  exclude_switch_time(game, t0);
}

void switch_midi_port(Game& game) {
  MusicState& music = game.music;
  if (!game.settings.music_enabled) return;
  const double t0 = now_ms(game.shell.timer);
  stop_music_slot(game, music.music_track_slot);
  music_close(game);
  music.music_track_slot = -1;  // music_close emptied every slot
  if (music.midi_port_count > 0) music.midi_port_index = (music.midi_port_index + 1) % music.midi_port_count;
  if (music_open(game, 0) != 1) {
    // Nothing was set up on the new port: music is off for the rest of the run.
    game.settings.music_enabled = 0;
  } else {
    next_music_track(game);
    play_music_slot(game, music.music_track_slot);
  }
  exclude_switch_time(game, t0);
}

const char* current_midi_port_name(const Game& game) {
  const MusicState& music = game.music;
  if (!game.settings.music_enabled) return "Off";
  if (music.midi_port_index < 0 || music.midi_port_index >= music.midi_port_count) return "None";
  return music.midi_port_list[static_cast<std::size_t>(music.midi_port_index)].port_name;
}
