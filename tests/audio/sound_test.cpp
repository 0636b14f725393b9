// Sound effects on the real sound device (SDL's dummy driver, or its disk
// driver where the output itself is checked), and music rendered into it.
#include "audio/sound.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/music.h"
#include "audio/wave_reader.h"
#include "core/game.h"
#include "net/protocol.h"
#include "platform/window.h"
#include "shell/startup.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes read_file(const fs::path& path) {
  Bytes bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return bytes;
  uint8_t buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  std::fclose(file);
  return bytes;
}

void write_file(const fs::path& path, const Bytes& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

// A minimal wave with the given format fields and `count` samples.
Bytes wave_bytes(uint16_t tag, uint16_t channels, uint16_t bits, uint32_t count) {
  Bytes b;
  auto put = [&b](uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  const uint32_t data = count * channels * bits / 8;
  b.insert(b.end(), {'R', 'I', 'F', 'F'});
  put(4 + 24 + 8 + data, 4);
  b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put(16, 4);
  put(tag, 2);
  put(channels, 2);
  put(44100, 4);
  put(44100u * channels * bits / 8, 4);
  put(channels * bits / 8, 2);
  put(bits, 2);
  b.insert(b.end(), {'d', 'a', 't', 'a'});
  put(data, 4);
  for (uint32_t i = 0; i < data; ++i) b.push_back(static_cast<uint8_t>(i * 37));
  return b;
}

// Each test runs in its own directory with the game's data files linked in,
// on whichever SDL audio driver it sets (dummy unless the test says).
class Sound : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    directory = fs::temp_directory_path() / ("morvane_sound_" + std::to_string(getpid()));
    fs::remove_all(directory);
    fs::create_directories(directory);
    previous = fs::current_path();
    fs::current_path(directory);
    game = std::make_unique<Game>();
    game->settings.sound_enabled = 1;
  }
  void TearDown() override {
    stop_music_slot(*game, game->music.music_track_slot);
    music_close(*game);
    sound_close(*game);
    fs::current_path(previous);
    fs::remove_all(directory);
  }
  void link_game_file(const char* name) {
    fs::create_symlink(fs::path(MORVANE_GAME_DIR) / name, directory / name);
  }
  fs::path directory, previous;
  std::unique_ptr<Game> game;
};

TEST_F(Sound, SoundOffLoadsAndPlaysNothing) {
  link_game_file("sound.pak");
  game->settings.sound_enabled = 0;
  EXPECT_EQ(sound_close(*game), 1);  // never opened
  EXPECT_EQ(load_wave(*game, "sound.pak", 29553), -1);
  EXPECT_EQ(play_sound(*game, 0), 1);
  EXPECT_EQ(load_sound_set(*game), 6);
}

TEST_F(Sound, LoadsTheSoundSetAndPlaysTheShot) {
  link_game_file("sound.pak");
  ASSERT_EQ(sound_open(*game), 1);
  ASSERT_EQ(load_sound_set(*game), 1);
  EXPECT_EQ(game->sound.spare_sound, 0);
  EXPECT_EQ(game->sound.shot_sound, 1);
  const SoundSlot& shot = game->sound.sound_table[1];
  EXPECT_EQ(shot.loaded, 1);
  EXPECT_EQ(shot.slot_index, 1);
  EXPECT_EQ(shot.file_sample_rate, 22050);
  EXPECT_GT(shot.data_bytes, 2000);
  EXPECT_EQ(play_sound(*game, game->sound.shot_sound), 1);
  EXPECT_EQ(play_sound(*game, game->sound.shot_sound), 1);
  EXPECT_EQ(play_sound(*game, -1), 1);
  EXPECT_EQ(play_sound(*game, 200), 1);  // an empty slot
}

TEST_F(Sound, MissingOrBrokenArchiveFailsTheSoundSet) {
  ASSERT_EQ(sound_open(*game), 1);
  EXPECT_EQ(load_sound_set(*game), 6);
  Bytes pak = read_file(fs::path(MORVANE_GAME_DIR) / "sound.pak");
  ASSERT_GT(pak.size(), 29553u + 22u);
  pak[29553 + 20] = 2;  // the shot's format tag: compressed
  write_file(directory / "sound.pak", pak);
  EXPECT_EQ(load_sound_set(*game), 6);
}

TEST_F(Sound, AnyPcmLayoutLoadsAndCompressedWavesDoNot) {
  ASSERT_EQ(sound_open(*game), 1);
  write_file(directory / "stereo16.wav", wave_bytes(1, 2, 16, 1000));
  write_file(directory / "adpcm.wav", wave_bytes(2, 1, 4, 1000));
  const int32_t slot = load_wave(*game, "stereo16.wav", 0);
  ASSERT_EQ(slot, 0);
  // Kept as bytes, played as 8-bit mono at 22,050 Hz.
  EXPECT_EQ(game->sound.sound_table[0].data_bytes, 4000);
  EXPECT_EQ(game->sound.sound_table[0].file_sample_rate, 44100);
  EXPECT_EQ(play_sound(*game, slot), 1);
  EXPECT_EQ(load_wave(*game, "adpcm.wav", 0), -1);
  EXPECT_EQ(load_wave(*game, "absent.wav", 0), -1);
  EXPECT_EQ(load_wave(*game, "stereo16.wav", 1 << 30), -1);
  // A failed load does not use up a slot.
  EXPECT_EQ(load_wave(*game, "stereo16.wav", 0), 1);
}

TEST_F(Sound, TheTwoHundredFiftySeventhLoadFails) {
  link_game_file("sound.pak");
  ASSERT_EQ(sound_open(*game), 1);
  for (int32_t i = 0; i < 256; ++i) ASSERT_EQ(load_wave(*game, "sound.pak", 29553), i);
  EXPECT_EQ(load_wave(*game, "sound.pak", 29553), -1);
}

// Sound output captured through SDL's disk driver: unsigned 8-bit mono at
// 22,050 Hz, silence 128.
class CapturedSound : public Sound {
 protected:
  void SetUp() override {
    Sound::SetUp();
    capture = directory / "capture.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
  }
  void TearDown() override {
    Sound::TearDown();
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    unsetenv("SDL_DISKAUDIOFILE");
  }
  Bytes stop_and_read() {
    stop_music_slot(*game, game->music.music_track_slot);
    music_close(*game);
    sound_close(*game);
    return read_file(capture);
  }
  fs::path capture;
};

void handle_fire_message(Game& game, int32_t number) {
  FireMessage fire;
  fire.header.type = MSG_FIRE;
  fire.header.sender = 2;
  fire.number = number;
  const auto bytes = encode_message(fire);
  handle_game_message(game, bytes, 2, 1);
}

std::size_t find_bytes(const Bytes& haystack, const Bytes& needle, std::size_t from) {
  for (std::size_t i = from; i + needle.size() <= haystack.size(); ++i)
    if (std::equal(needle.begin(), needle.end(), haystack.begin() + static_cast<long>(i))) return i;
  return std::string::npos;
}

TEST_F(CapturedSound, AFireMessageSoundsAndTheNextOneRestartsIt) {
  link_game_file("sound.pak");
  ASSERT_EQ(sound_open(*game), 1);
  ASSERT_EQ(load_sound_set(*game), 1);
  const Bytes pak = read_file(directory / "sound.pak");
  WaveLocation where;
  ASSERT_TRUE(locate_wave(pak.data(), pak.size(), 29553, where));
  const Bytes shot(pak.begin() + static_cast<long>(where.data_offset),
                   pak.begin() + static_cast<long>(where.data_offset + where.data_bytes));

  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  handle_fire_message(*game, 3);
  // Long enough for the mixer to have started the first (it mixes 23 ms at
  // a time, later on a busy machine), well inside the shot's 1.3 s.
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  handle_fire_message(*game, 4);
  std::this_thread::sleep_for(std::chrono::milliseconds(2000));  // room for a busy machine
  const Bytes out = stop_and_read();
  EXPECT_EQ(game->world.projectile_table[4].active, 1);

  const Bytes opening(shot.begin(), shot.begin() + 200);
  const std::size_t first = find_bytes(out, opening, 0);
  ASSERT_NE(first, std::string::npos) << "the shot is not in the output";
  const std::size_t second = find_bytes(out, opening, first + 1);
  ASSERT_NE(second, std::string::npos) << "the second shot did not start again";
  EXPECT_LT(second - first, shot.size());
  // The first instance is cut off where the second begins, and the second
  // plays alone from its first sample to its last.
  EXPECT_TRUE(std::equal(out.begin() + static_cast<long>(first), out.begin() + static_cast<long>(second), shot.begin()));
  ASSERT_LE(second + shot.size(), out.size());
  EXPECT_TRUE(std::equal(shot.begin(), shot.end(), out.begin() + static_cast<long>(second)));
  EXPECT_EQ(find_bytes(out, opening, second + 1), std::string::npos);
}

TEST_F(CapturedSound, MusicIsRenderedIntoTheSoundDevice) {
  link_game_file("mrvnmus00.mid");
  game->settings.music_enabled = 1;
  timer_start(game->shell.timer);
  ASSERT_EQ(sound_open(*game), 1);
  ASSERT_EQ(music_open(*game, 1), 1);
  ASSERT_GE(game->music.midi_port_count, 1);
  EXPECT_STREQ(game->music.midi_port_list[0].port_name, "Software Synthesizer (TimGM6mb)");
  game->world.music_track = 12;
  ASSERT_EQ(next_music_track(*game), 1);
  play_music_slot(*game, game->music.music_track_slot);
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  const Bytes out = stop_and_read();
  ASSERT_GT(out.size(), 22050u);
  long loud = 0;
  for (uint8_t sample : out)
    if (sample < 120 || sample > 136) ++loud;
  EXPECT_GT(loud, static_cast<long>(out.size() / 20));
}

}  // namespace

namespace {

// The whole start-up with the configurator's default file: one "Playing"
// entry naming the track after the drawn one, and that track playing.
TEST_F(Sound, StartUpPlaysTheTrackAfterTheDrawnOne) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs the test run's X server";
  for (const char* name : {"sound.pak", "mrvn.pak", "default.mvl"}) link_game_file(name);
  for (int track = 0; track < 13; ++track) {
    char name[32];
    std::snprintf(name, sizeof name, "mrvnmus%.2d.mid", track);
    link_game_file(name);
  }
  const std::string config =
      "MRVN_CONFIG\r\n\r\r\nSET_RESOLUTION 3 \r\nSET_SOUND 1 \r\nSET_MUSIC 1 \r\nSET_PARTICLES 1 \r\n"
      "SET_PLAYERNAME \"Player\"\r\nSET_SERVER 1\r\nSET_NETWORKING 0 \r\nSET_IPADDRESS \"0.0.0.0\"\r\n";
  write_file(directory / "config.dat", Bytes(config.begin(), config.end()));
  const int code = start_up(*game);
  const int32_t track = game->world.music_track;
  const int32_t slot = game->music.music_track_slot;
  const int32_t playing = game->music.playing_music_slot;
  const int32_t music_on = game->settings.music_enabled;
  const MessageLog log = game->log;
  shut_down(*game);
  platform::destroy_window(game->shell.main_window);
  game->shell.main_window = nullptr;
  ASSERT_EQ(code, 1) << game->shell.error_text;
  ASSERT_EQ(music_on, 1);
  EXPECT_NE(slot, -1);
  EXPECT_EQ(playing, slot);
  int playing_entries = 0;
  for (const LogEntry& entry : log.entries)
    if (std::string(entry.source) == "Playing") {
      ++playing_entries;
      EXPECT_STREQ(entry.text, music_track_table[static_cast<std::size_t>(track)].title);
    }
  EXPECT_EQ(playing_entries, 1);
}

}  // namespace
