// A real OpenGL context for graphics tests: an off-screen window at a chosen
// drawing size with the game's textures and display lists, plus frame capture
// and comparison with stored reference pictures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/game.h"

namespace test_gl {

// RGB, top row first.
struct Frame {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgb;
  const uint8_t* at(int32_t x, int32_t y) const { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }
};

// Opens the window, context, textures (from the built archive) and scene as
// start-up does. False (with a reason on stderr) when no context exists.
bool open_scene(Game& game, int32_t width, int32_t height);
void close_scene(Game& game);

Frame read_frame(int32_t width, int32_t height);

// Pixels whose largest channel difference exceeds `tolerance`.
int64_t differing_pixels(const Frame& a, const Frame& b, int tolerance);

// PNG files through ImageMagick.
bool save_png(const Frame& frame, const std::string& path);
bool load_png(const std::string& path, Frame& frame);

// Compares with tests/graphics/reference/<name>.png. With
// MORVANE_UPDATE_REFERENCES=1 in the environment the reference is rewritten
// instead. On a mismatch the frame, the reference and a difference picture
// are saved under failed_frames/ in the build directory. Returns an empty
// string on success, otherwise what went wrong.
std::string compare_with_reference(const Frame& frame, const std::string& name);

// A test clock: the frame timer reads `fake_millis` (no performance counter).
extern uint32_t fake_millis;
void use_fake_clock(Game& game);

}  // namespace test_gl
