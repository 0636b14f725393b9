// The music rotation and the port list, with the platform's MIDI services
// replaced by a recording stand-in and the frame timer by a test clock.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "audio/music.h"
#include "core/game.h"

namespace fs = std::filesystem;

namespace {

// The test clock: the frame timer reads `clock_ms`.
uint32_t clock_ms = 0;
bool no_counter(int64_t&) { return false; }
int64_t zero_counter() { return 0; }
uint32_t test_millis() { return clock_ms; }
const ClockSource kTestClock{no_counter, zero_counter, test_millis};

// What the stand-in platform was asked to do.
struct Recorder {
  std::vector<platform::MidiPortCaps> machine_ports;
  int32_t create_port_result = platform::kMidiOk;
  int32_t add_port_result = platform::kMidiOk;
  bool init_result = true;
  uint32_t load_cost_ms = 0;  // clock time a segment load takes
  int calls = 0;
  int performances_open = 0;
  int segments_alive = 0;
  std::vector<int32_t> created_ports;  // the `number` of each port created
  std::vector<std::string> played;     // title bytes of each segment played
  int activations = 0;
  int adds = 0;
  int stops = 0;
};
Recorder rec;

struct FakeSegment {
  std::string name;
};
alignas(8) char performance_token;
alignas(8) char port_token;

platform::MidiPerformance* fake_create_performance() {
  ++rec.calls;
  ++rec.performances_open;
  return reinterpret_cast<platform::MidiPerformance*>(&performance_token);
}
bool fake_init(platform::MidiPerformance*, platform::SoundDevice*) {
  ++rec.calls;
  return rec.init_result;
}
int32_t fake_enum(platform::MidiPerformance*, int32_t index, platform::MidiPortCaps& caps) {
  ++rec.calls;
  if (index >= static_cast<int32_t>(rec.machine_ports.size())) return platform::kMidiNoMorePorts;
  caps = rec.machine_ports[static_cast<std::size_t>(index)];
  return platform::kMidiOk;
}
int32_t fake_create_port(platform::MidiPerformance*, const platform::MidiPortCaps& caps, int32_t,
                         platform::MidiOutputPort*& port) {
  ++rec.calls;
  rec.created_ports.push_back(caps.number);
  port = rec.create_port_result == platform::kMidiOk
             ? reinterpret_cast<platform::MidiOutputPort*>(&port_token)
             : nullptr;
  return rec.create_port_result;
}
int32_t fake_activate(platform::MidiOutputPort*) {
  ++rec.calls;
  ++rec.activations;
  return platform::kMidiOk;
}
int32_t fake_add(platform::MidiPerformance*, platform::MidiOutputPort*) {
  ++rec.calls;
  ++rec.adds;
  return rec.add_port_result;
}
platform::MidiSegment* fake_create_segment(const uint8_t* bytes, uint32_t size) {
  ++rec.calls;
  ++rec.segments_alive;
  clock_ms += rec.load_cost_ms;
  // Our composer names each track in its first meta event.
  const std::string text(reinterpret_cast<const char*>(bytes), size);
  const std::size_t at = text.find("\xFF\x03");
  const std::size_t length = at == std::string::npos ? 0 : static_cast<uint8_t>(text[at + 2]);
  auto* segment = new FakeSegment{at == std::string::npos ? "" : text.substr(at + 3, length)};
  return reinterpret_cast<platform::MidiSegment*>(segment);
}
void fake_release_segment(platform::MidiSegment* segment) {
  ++rec.calls;
  --rec.segments_alive;
  delete reinterpret_cast<FakeSegment*>(segment);
}
int32_t fake_play(platform::MidiPerformance*, platform::MidiSegment* segment) {
  ++rec.calls;
  rec.played.push_back(reinterpret_cast<FakeSegment*>(segment)->name);
  return platform::kMidiOk;
}
void fake_stop(platform::MidiPerformance*, platform::MidiSegment*) {
  ++rec.calls;
  ++rec.stops;
}
void fake_close(platform::MidiPerformance*) {
  ++rec.calls;
  --rec.performances_open;
}

const MidiServices kFakeServices{fake_create_performance, fake_init,          fake_enum,
                                 fake_create_port,        fake_activate,      fake_add,
                                 fake_create_segment,     fake_release_segment, fake_play,
                                 fake_stop,               fake_close};

platform::MidiPortCaps port_caps(int32_t number, const char* description,
                                 int32_t port_class = platform::kMidiPortClassOutput) {
  platform::MidiPortCaps caps;
  caps.number = number;
  caps.port_class = port_class;
  std::snprintf(caps.description, sizeof caps.description, "%s", description);
  return caps;
}

// A game with music on, run in a directory holding links to the thirteen
// composed tracks.
class Music : public ::testing::Test {
 protected:
  void SetUp() override {
    rec = Recorder{};
    rec.machine_ports = {port_caps(0, "Synth A"), port_caps(1, "Keyboard In", platform::kMidiPortClassInput),
                         port_caps(2, "Synth B"), port_caps(3, "Sequencer C")};
    clock_ms = 0;
    directory = fs::temp_directory_path() / ("morvane_music_" + std::to_string(getpid()));
    fs::create_directories(directory);
    for (int track = 0; track < 13; ++track) {
      char name[32];
      std::snprintf(name, sizeof name, "mrvnmus%.2d.mid", track);
      fs::remove(directory / name);
      fs::create_symlink(fs::path(MORVANE_GAME_DIR) / name, directory / name);
    }
    previous = fs::current_path();
    fs::current_path(directory);
    game = std::make_unique<Game>();
    game->music.services = &kFakeServices;
    game->shell.timer.source = &kTestClock;
    timer_start(game->shell.timer);
    game->settings.sound_enabled = 1;
    game->settings.music_enabled = 1;
  }
  void TearDown() override {
    unload_all_music(*game);  // the segments a test leaves loaded
    fs::current_path(previous);
    fs::remove_all(directory);
  }
  // The start-up's part: open, draw a track, load the next and play it.
  void start(int32_t drawn_track) {
    ASSERT_EQ(music_open(*game, 1), 1);
    game->world.music_track = drawn_track;
    ASSERT_EQ(next_music_track(*game), 1);
    play_music_slot(*game, game->music.music_track_slot);
  }
  const LogEntry& newest() const { return game->log.entries[0]; }

  fs::path directory, previous;
  std::unique_ptr<Game> game;
};

TEST_F(Music, ListsOutputPortsOnlyAndOpensTheFirst) {
  ASSERT_EQ(music_open(*game, 1), 1);
  ASSERT_EQ(game->music.midi_port_count, 3);
  EXPECT_STREQ(game->music.midi_port_list[0].port_name, "Synth A");
  EXPECT_STREQ(game->music.midi_port_list[1].port_name, "Synth B");
  EXPECT_STREQ(game->music.midi_port_list[2].port_name, "Sequencer C");
  EXPECT_EQ(rec.created_ports, std::vector<int32_t>{0});
  EXPECT_EQ(rec.adds, 1);
  EXPECT_STREQ(current_midi_port_name(*game), "Synth A");
}

TEST_F(Music, FirstTrackIsTheOneAfterTheDrawnNumberAndWrapsAfterTwelve) {
  start(12);
  EXPECT_EQ(game->world.music_track, 0);
  EXPECT_STREQ(newest().source, "Playing");
  EXPECT_STREQ(newest().text, music_track_table[0].title);
  EXPECT_EQ(newest().category, LOG_NOTICE);
  EXPECT_EQ(rec.played, std::vector<std::string>{music_track_table[0].title});
}

TEST_F(Music, TrackGivesWayWhenItsTableTimeRunsOut) {
  start(12);
  clock_ms = 190999;
  update_music_rotation(*game);
  EXPECT_EQ(game->world.music_track, 0);
  EXPECT_EQ(rec.played.size(), 1u);

  clock_ms = 191000;
  rec.load_cost_ms = 35;  // loading the next file takes time...
  game->world.frame_start_ms = 190990;
  update_music_rotation(*game);
  EXPECT_EQ(game->world.music_track, 1);
  EXPECT_STREQ(newest().text, music_track_table[1].title);
  ASSERT_EQ(rec.played.size(), 2u);
  EXPECT_EQ(rec.played[1], music_track_table[1].title);
  EXPECT_FLOAT_EQ(game->world.music_track_start_ms, 191035);
  // ...which is kept out of the frame's measured duration.
  EXPECT_FLOAT_EQ(game->world.frame_start_ms, 191025);
  // The old track was stopped and unloaded: one segment held at a time.
  EXPECT_EQ(rec.segments_alive, 1);
  EXPECT_EQ(game->music.playing_music_slot, game->music.music_track_slot);
}

TEST_F(Music, TracksAreFoundFromADeeplyNestedDirectory) {
  // A current directory far longer than the old 260-character limit.
  fs::path deep = directory;
  for (int level = 0; level < 8; ++level) deep /= std::string(60, 'd');
  fs::create_directories(deep);
  fs::create_symlink(fs::path(MORVANE_GAME_DIR) / "mrvnmus05.mid", deep / "mrvnmus05.mid");
  fs::current_path(deep);
  ASSERT_GT(fs::current_path().string().size(), 480u);
  start(4);
  EXPECT_EQ(game->world.music_track, 5);
  EXPECT_NE(game->music.music_track_slot, -1);
  EXPECT_EQ(rec.played, std::vector<std::string>{music_track_table[5].title});
}

TEST_F(Music, MissingFileIsSkippedInTheNextFrame) {
  fs::remove(directory / "mrvnmus02.mid");
  start(0);  // track 1
  clock_ms = 239000;
  update_music_rotation(*game);
  EXPECT_EQ(game->world.music_track, 2);
  EXPECT_EQ(game->music.music_track_slot, -1);
  EXPECT_STREQ(newest().text, music_track_table[1].title);  // nothing logged for the gap
  EXPECT_EQ(rec.played.size(), 1u);
  // The start time was not renewed, so the next frame moves on again.
  clock_ms += 16;
  update_music_rotation(*game);
  EXPECT_EQ(game->world.music_track, 3);
  EXPECT_STREQ(newest().text, music_track_table[3].title);
  EXPECT_EQ(rec.played.back(), music_track_table[3].title);
  EXPECT_FLOAT_EQ(game->world.music_track_start_ms, 239016);
}

TEST_F(Music, MusicOffNeverReachesTheSynthesizer) {
  game->settings.music_enabled = 0;
  game->world.music_track = 5;
  EXPECT_EQ(next_music_track(*game), 1);
  EXPECT_EQ(game->world.music_track, 5);
  EXPECT_EQ(play_music_slot(*game, game->music.music_track_slot), 1);
  for (int frame = 0; frame < 3; ++frame) {
    clock_ms += 400000;
    update_music_rotation(*game);
  }
  switch_midi_port(*game);
  EXPECT_EQ(stop_music_slot(*game, game->music.music_track_slot), 1);
  EXPECT_EQ(music_close(*game), 1);
  EXPECT_EQ(rec.calls, 0);
  EXPECT_STREQ(game->log.entries[0].source, "");
  EXPECT_STREQ(current_midi_port_name(*game), "Off");
}

TEST_F(Music, PortSwitchCyclesThroughTheOutputPortsAndAdvancesTheTrack) {
  start(0);
  const std::vector<int32_t> expected_index{1, 2, 0};
  const std::vector<int32_t> machine_number{2, 3, 0};  // the input port is never used
  for (std::size_t i = 0; i < 3; ++i) {
    clock_ms += 1000;
    switch_midi_port(*game);
    EXPECT_EQ(game->music.midi_port_index, expected_index[i]);
    EXPECT_EQ(rec.created_ports.back(), machine_number[i]);
    EXPECT_EQ(game->world.music_track, static_cast<int32_t>(2 + i));
    EXPECT_STREQ(newest().text, music_track_table[2 + i].title);
    EXPECT_EQ(rec.played.back(), music_track_table[2 + i].title);
  }
  EXPECT_STREQ(current_midi_port_name(*game), "Synth A");
  EXPECT_EQ(rec.performances_open, 1);
  EXPECT_EQ(rec.segments_alive, 1);
  music_close(*game);
  EXPECT_EQ(rec.performances_open, 0);
  EXPECT_EQ(rec.segments_alive, 0);
}

TEST_F(Music, PortFailuresAreLoggedByNameAndMusicStaysOn) {
  struct Case {
    int32_t code;
    const char* text;
  };
  const Case cases[] = {
      {static_cast<int32_t>(0x88781139u), "CreatePort FAILED: DMUS_E_DSOUND_NOT_SET"},
      {static_cast<int32_t>(0x80070057u), "CreatePort FAILED: E_INVALIDARG"},
      {static_cast<int32_t>(0x8007000Eu), "CreatePort FAILED: E_OUTOFMEMORY"},
      {0x1234ABC, "CreatePort FAILED: UNKNOWN: 0x1234ABC"},
  };
  for (const Case& c : cases) {
    rec.create_port_result = c.code;
    rec.adds = rec.activations = 0;
    ASSERT_EQ(music_open(*game, 1), 1);
    EXPECT_STREQ(newest().text, c.text);
    EXPECT_STREQ(newest().source, "SYS");
    EXPECT_EQ(newest().category, LOG_NOTICE);
    // No port: nothing is activated or added.
    EXPECT_EQ(rec.activations + rec.adds, 0);
    music_close(*game);
  }
  rec.create_port_result = platform::kMidiOk;
  rec.add_port_result = static_cast<int32_t>(0x80004005u);
  ASSERT_EQ(music_open(*game, 1), 1);
  EXPECT_STREQ(newest().text, "AddPort FAILED: -2147467259");
}

TEST_F(Music, NoOutputPortMeansNoMusic) {
  rec.machine_ports = {port_caps(0, "Keyboard In", platform::kMidiPortClassInput)};
  EXPECT_EQ(music_open(*game, 1), 7);
  EXPECT_EQ(rec.performances_open, 0);
  rec.machine_ports.clear();
  rec.init_result = false;
  EXPECT_EQ(music_open(*game, 1), 7);
  EXPECT_EQ(rec.performances_open, 0);
}

TEST_F(Music, FailedReopenDuringASwitchTurnsMusicOff) {
  start(0);
  rec.init_result = false;
  switch_midi_port(*game);
  EXPECT_EQ(game->settings.music_enabled, 0);
  EXPECT_EQ(rec.performances_open, 0);
  EXPECT_EQ(rec.segments_alive, 0);
  const int calls = rec.calls;
  clock_ms += 500000;
  update_music_rotation(*game);
  switch_midi_port(*game);
  EXPECT_EQ(rec.calls, calls);
}

TEST_F(Music, PortListStopsAtItsCapacity) {
  rec.machine_ports.clear();
  for (int32_t i = 0; i < 300; ++i) rec.machine_ports.push_back(port_caps(i, "Port"));
  ASSERT_EQ(music_open(*game, 1), 1);
  EXPECT_EQ(game->music.midi_port_count, 256);
}

TEST_F(Music, SlotOperationsIgnoreTheFailedSlot) {
  start(0);
  const int calls = rec.calls;
  EXPECT_EQ(play_music_slot(*game, -1), 1);
  EXPECT_EQ(stop_music_slot(*game, -1), 1);
  EXPECT_EQ(unload_music_slot(*game, -1), 1);
  EXPECT_EQ(play_music_slot(*game, 64), 1);
  EXPECT_EQ(rec.calls, calls);
}

}  // namespace
