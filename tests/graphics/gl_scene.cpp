#include "gl_scene.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "core/frame_timer.h"
#include "graphics/gl_setup.h"
#include "graphics/textures.h"
#include "platform/window.h"

namespace test_gl {

uint32_t fake_millis = 0;

namespace {

bool no_counter(int64_t&) { return false; }
int64_t zero_counter() { return 0; }
uint32_t read_fake_millis() { return fake_millis; }
const ClockSource kFakeClock{no_counter, zero_counter, read_fake_millis};

}  // namespace

void use_fake_clock(Game& game) {
  fake_millis = 0;
  game.shell.timer.source = &kFakeClock;
  timer_start(game.shell.timer);
}

bool open_scene(Game& game, int32_t width, int32_t height) {
  // The window layer accepts the off-screen driver only when asked for it.
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  game.shell.main_window = platform::create_main_window("graphics test", width, height);
  if (!game.shell.main_window) {
    std::fprintf(stderr, "no window\n");
    return false;
  }
  if (!platform::set_display_mode(game.shell.main_window, width, height, 16) || create_gl_context(game, width, height, 16) != 1) {
    std::fprintf(stderr, "no OpenGL context\n");
    return false;
  }
  char error_text[80] = {};
  if (open_texture_archive(game.textures, MORVANE_GAME_DIR "/mrvn.pak", texture_offsets, error_text) != 1 ||
      load_textures(game.textures) != 1) {
    std::fprintf(stderr, "textures: %s\n", error_text);
    return false;
  }
  return init_gl_scene(game, width, height) == 1;
}

void close_scene(Game& game) {
  free_textures(game.textures);
  destroy_gl(game, true);
  platform::destroy_window(game.shell.main_window);
  game.shell.main_window = nullptr;
}

Frame read_frame(int32_t width, int32_t height) {
  Frame frame{width, height, std::vector<uint8_t>(static_cast<std::size_t>(width) * height * 3)};
  std::vector<uint8_t> bottom_up(frame.rgb.size());
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, bottom_up.data());
  const std::size_t row = static_cast<std::size_t>(width) * 3;
  for (int32_t y = 0; y < height; ++y)
    std::copy_n(&bottom_up[static_cast<std::size_t>(height - 1 - y) * row], row, &frame.rgb[y * row]);
  return frame;
}

int64_t differing_pixels(const Frame& a, const Frame& b, int tolerance) {
  if (a.width != b.width || a.height != b.height) return static_cast<int64_t>(a.width) * a.height;
  int64_t count = 0;
  for (std::size_t i = 0; i < a.rgb.size(); i += 3) {
    int worst = 0;
    for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(a.rgb[i + c] - b.rgb[i + c]));
    if (worst > tolerance) ++count;
  }
  return count;
}

bool save_png(const Frame& frame, const std::string& path) {
  const std::string command = "convert ppm:- '" + path + "'";
  std::FILE* pipe = popen(command.c_str(), "w");
  if (!pipe) return false;
  std::fprintf(pipe, "P6\n%d %d\n255\n", frame.width, frame.height);
  std::fwrite(frame.rgb.data(), 1, frame.rgb.size(), pipe);
  return pclose(pipe) == 0;
}

bool load_png(const std::string& path, Frame& frame) {
  if (!std::filesystem::exists(path)) return false;
  const std::string command = "convert '" + path + "' -depth 8 ppm:-";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return false;
  int width = 0, height = 0, max = 0;
  bool ok = std::fscanf(pipe, "P6 %d %d %d", &width, &height, &max) == 3 && max == 255 && width > 0 &&
            height > 0 && width <= 8192 && height <= 8192;
  if (ok) {
    std::fgetc(pipe);  // the single whitespace after the header
    frame.width = width;
    frame.height = height;
    frame.rgb.assign(static_cast<std::size_t>(width) * height * 3, 0);
    ok = std::fread(frame.rgb.data(), 1, frame.rgb.size(), pipe) == frame.rgb.size();
  }
  return pclose(pipe) == 0 && ok;
}

std::string compare_with_reference(const Frame& frame, const std::string& name) {
  const std::string reference = std::string(MORVANE_SOURCE_DIR) + "/tests/graphics/reference/" + name + ".png";
  const char* update = std::getenv("MORVANE_UPDATE_REFERENCES");
  if (update && std::string(update) == "1") return save_png(frame, reference) ? "" : "cannot write " + reference;

  Frame expected;
  const bool have_reference = load_png(reference, expected);
  // Rasterisers may differ by a step of filtering at edges; a real fault
  // changes whole regions.
  constexpr int kTolerance = 24;
  const int64_t allowed = static_cast<int64_t>(frame.width) * frame.height / 200;  // 0.5 percent
  const int64_t differing = have_reference ? differing_pixels(frame, expected, kTolerance) : -1;
  if (have_reference && differing <= allowed) return "";

  const std::string dir = std::string(MORVANE_FAILED_FRAMES_DIR);
  std::filesystem::create_directories(dir);
  save_png(frame, dir + "/" + name + ".png");
  if (!have_reference) return "no reference picture " + reference + "; frame saved in " + dir;
  save_png(expected, dir + "/" + name + "-reference.png");
  Frame diff = frame;
  for (std::size_t i = 0; i < diff.rgb.size(); ++i)
    diff.rgb[i] = static_cast<uint8_t>(std::min(255, 4 * std::abs(frame.rgb[i] - expected.rgb[i])));
  save_png(diff, dir + "/" + name + "-difference.png");
  return std::to_string(differing) + " pixels differ (allowed " + std::to_string(allowed) + "); pictures in " + dir;
}

}  // namespace test_gl
