// Renders every music track with FluidSynth and the General MIDI SoundFont,
// faster than real time, to check that each is a valid file that makes
// sound and lasts about as long as its place in the rotation.
#include <fluidsynth.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "audio/music.h"

namespace {

constexpr const char* kSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";
constexpr int kRenderRate = 8000;  // the lowest rate FluidSynth allows: fast
constexpr int kBlock = 1024;

struct Rendering {
  bool loaded = false;
  double seconds = 0;    // until the player reaches the file's last tick
  double rms = 0;        // over the whole piece
  double loud_share = 0;  // share of one-second windows that are not near silence
};

Rendering render(const std::string& path) {
  Rendering result;
  fluid_settings_t* settings = new_fluid_settings();
  fluid_settings_setnum(settings, "synth.sample-rate", kRenderRate);
  fluid_settings_setint(settings, "synth.reverb.active", 0);
  fluid_settings_setint(settings, "synth.chorus.active", 0);
  fluid_settings_setnum(settings, "synth.gain", 0.6);
  fluid_synth_t* synth = new_fluid_synth(settings);
  fluid_player_t* player = new_fluid_player(synth);
  if (fluid_synth_sfload(synth, kSoundFont, 1) != FLUID_FAILED &&
      fluid_is_midifile(path.c_str()) && fluid_player_add(player, path.c_str()) == FLUID_OK &&
      fluid_player_play(player) == FLUID_OK) {
    result.loaded = true;
    float left[kBlock], right[kBlock];
    double sum = 0, window = 0;
    long frames = 0, windows = 0, loud = 0;
    // Hard stop at ten minutes, beyond the longest track.
    // The player reports its end only once the last notes have died away,
    // so the piece's own end is taken where its last tick is reached.
    while (fluid_player_get_status(player) == FLUID_PLAYER_PLAYING && frames < 600L * kRenderRate &&
           (frames == 0 || fluid_player_get_current_tick(player) < fluid_player_get_total_ticks(player))) {
      fluid_synth_write_float(synth, kBlock, left, 0, 1, right, 0, 1);
      for (int i = 0; i < kBlock; ++i) {
        const double v = 0.5 * (left[i] + right[i]);
        sum += v * v;
        window += v * v;
        if (++frames % kRenderRate == 0) {
          ++windows;
          if (std::sqrt(window / kRenderRate) > 0.01) ++loud;
          window = 0;
        }
      }
    }
    result.seconds = static_cast<double>(frames) / kRenderRate;
    result.rms = frames ? std::sqrt(sum / frames) : 0;
    result.loud_share = windows ? static_cast<double>(loud) / windows : 0;
  }
  delete_fluid_player(player);
  delete_fluid_synth(synth);
  delete_fluid_settings(settings);
  return result;
}

class MusicFile : public ::testing::TestWithParam<int> {};

TEST_P(MusicFile, PlaysAudiblyForAboutItsRotationTime) {
  const int track = GetParam();
  char name[32];
  std::snprintf(name, sizeof name, "/mrvnmus%.2d.mid", track);
  const Rendering r = render(std::string(MORVANE_GAME_DIR) + name);
  ASSERT_TRUE(r.loaded) << name;
  const double length = music_track_table[static_cast<std::size_t>(track)].length_ms / 1000.0;
  // The piece ends shortly before the rotation moves on, leaving its last
  // chord a moment to ring.
  EXPECT_LE(r.seconds, length - 1.0) << name;
  EXPECT_GE(r.seconds, length - 6.0) << name;
  EXPECT_GT(r.rms, 0.02) << name;
  // Music all the way through: hardly a silent second.
  EXPECT_GT(r.loud_share, 0.95) << name;
}

INSTANTIATE_TEST_SUITE_P(AllTracks, MusicFile, ::testing::Range(0, 13));

}  // namespace
