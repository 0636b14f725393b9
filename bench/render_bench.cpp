// Frame rate of render_frame + buffer swap on the shipped level with 8 tanks,
// 256 shells and 1000 live smoke puffs, beside an empty frame (clear and
// swap) measured in the same run; and the time from launch to the first
// finished frame. Run it on a display (scripts/run-bench.sh uses Xvfb).
#include <GL/gl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "graphics/gl_setup.h"
#include "graphics/render.h"
#include "graphics/textures.h"
#include "platform/window.h"
#include "shell/game.h"
#include "world/level.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kSecondsPerMeasurement = 3.0;

// Seconds since the process started, from the kernel's record of its start
// (clock ticks since boot) and the boot-time clock.
double seconds_since_launch() {
  std::ifstream stat("/proc/self/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const std::size_t end_of_name = text.rfind(')');
  if (end_of_name == std::string::npos) return -1;
  std::size_t position = end_of_name + 2;
  // Field 22 (start time); the text after the name starts at field 3.
  for (int field = 3; field < 22 && position != std::string::npos; ++field) position = text.find(' ', position) + 1;
  const double start_ticks = std::stod(text.substr(position));
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9 - start_ticks / sysconf(_SC_CLK_TCK);
}

bool open_scene(Game& game, int32_t width, int32_t height) {
  int32_t desktop_width = 0, desktop_height = 0;
  platform::desktop_size(desktop_width, desktop_height);
  game.shell.main_window = platform::create_main_window("Morvane benchmark", desktop_width, desktop_height);
  char error_text[80] = {};
  return game.shell.main_window &&
         open_texture_archive(game.textures, MORVANE_GAME_DIR "/mrvn.pak", texture_offsets, error_text) == 1 &&
         load_level(game.world.level, MORVANE_GAME_DIR "/default.mvl") == 1 &&
         platform::set_display_mode(game.shell.main_window, width, height, 16) && create_gl_context(game, width, height, 16) == 1 &&
         load_textures(game.textures) == 1 && init_gl_scene(game, width, height) == 1;
}

void close_scene(Game& game) {
  free_textures(game.textures);
  destroy_gl(game, true);
  platform::destroy_window(game.shell.main_window);
}

// A busy battle in front of the start-up camera.
void populate(Game& game) {
  WorldState& world = game.world;
  game.settings.particles_enabled = 1;
  world.in_session = 1;
  world.camera.camera_y = -0.2f;
  world.tank.in_play = 1;
  world.tank.local_player_id = 1;
  world.tank.health = 100;
  for (std::size_t i = 0; i < kMaxPlayers; ++i) {
    PlayerSlot& slot = world.player_table[i];
    slot.active = slot.in_play = 1;
    slot.player_id = static_cast<uint32_t>(i + 1);  // slot 0 is the local player
    slot.x = -6.0f + 2.0f * static_cast<float>(i);
    slot.z = 8.0f + 3.0f * static_cast<float>(i % 3);
    slot.hull_heading = 45.0f * static_cast<float>(i);
    slot.turret_heading = 30.0f * static_cast<float>(i);
  }
  for (std::size_t i = 0; i < kProjectileCount; ++i) {
    Projectile& shot = world.projectile_table[i];
    shot.active = 1;
    shot.x = -8.0f + 0.0625f * static_cast<float>(i);
    shot.y = 0.5f * std::sin(static_cast<float>(i));
    shot.z = 4.0f + static_cast<float>(i % 16);
  }
  for (std::size_t i = 0; i < kParticleCount; ++i) {
    Particle& puff = world.particle_pool[i];
    puff.active = 1;
    puff.x = -10.0f + 0.02f * static_cast<float>(i);
    puff.y = 0.3f * std::cos(static_cast<float>(i));
    puff.z = 3.0f + static_cast<float>(i % 25);
    puff.view_distance = 100;
    puff.red = puff.green = puff.blue = 1;
    puff.life = 0.5f;
  }
  add_log_entry(game.log, LOG_NOTICE, "benchmark running", "SYS");
}

template <typename Draw>
double frames_per_second(Game& game, Draw draw) {
  int frames = 0;
  const Clock::time_point start = Clock::now();
  double elapsed = 0;
  while (elapsed < kSecondsPerMeasurement) {
    draw();
    platform::swap_buffers(game.shell.main_window);
    game.world.frame_counter += 1;
    for (LogEntry& entry : game.log.entries) entry.age = 0;  // keep the message lines on screen
    ++frames;
    elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  }
  glFinish();
  elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  return frames / elapsed;
}

}  // namespace

int main() {
  bool first = true;
  for (auto [width, height] : {std::pair{640, 480}, std::pair{1024, 768}}) {
    auto game = std::make_unique<Game>();
    timer_start(game->shell.timer);
    if (!open_scene(*game, width, height)) {
      std::fprintf(stderr, "cannot set up %dx%d (display, OpenGL or game data missing)\n", width, height);
      return 1;
    }
    populate(*game);
    render_frame(*game);
    platform::swap_buffers(game->shell.main_window);
    glFinish();
    if (first) std::printf("start-up, launch to first frame: %.0f ms\n", seconds_since_launch() * 1000);
    first = false;
    const double empty = frames_per_second(*game, [] { glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT); });
    const double full = frames_per_second(*game, [&] { render_frame(*game); });
    std::printf("%4dx%-4d  empty frame %7.1f fps   render_frame %7.1f fps (%.2f ms per frame)\n", width, height,
                empty, full, 1000.0 / full);
    std::fflush(stdout);
    close_scene(*game);
  }
  return 0;
}
