#include "shell/startup.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "audio/music.h"
#include "audio/sound.h"
#include "core/game.h"
#include "graphics/gl_setup.h"
#include "graphics/textures.h"
#include "net/message_log.h"
#include "net/session.h"
#include "platform/window.h"
#include "shell/game_icon.h"
#include "world/input_devices.h"
#include "world/level.h"

namespace {

int fail(Game& game, int code, const char* text) {
  std::snprintf(game.shell.error_text, sizeof game.shell.error_text, "%s", text);
  return code;
}

// Sound and music: without the sound device there is neither; a failed music
// set-up only turns music off.
int start_sound_and_music(Game& game) {
  GameSettings& settings = game.settings;
  if (settings.sound_enabled && sound_open(game) != 1) settings.sound_enabled = 0;
  if (!settings.sound_enabled) {
    settings.music_enabled = 0;
    return 1;
  }
  if (settings.music_enabled && music_open(game, 1) != 1) settings.music_enabled = 0;
  game.world.music_track = next_random(game) % 13;
  if (load_sound_set(game) != 1 || next_music_track(game) != 1) return 0;
  return 1;
}

void set_starting_values(Game& game) {
  WorldState& world = game.world;
  world.tank.x = world.tank.y = world.tank.z = 0;
  world.camera.camera_x = 0;
  world.camera.camera_y = -0.2f;
  world.camera.camera_z = 0;
  world.camera.camera_pitch = world.tank.gun_pitch;
  world.camera.camera_heading = world.tank.turret_heading;
  world.camera.camera_roll = 0;
  world.frames_per_second = 60;
  world.quit_requested = 0;
  world.in_session = 0;
}

}  // namespace

int start_up(Game& game) {
  std::FILE* config = std::fopen(kConfigFileName, "r");
  if (!config) return STARTUP_NOT_CONFIGURED;
  read_config(game.settings, config);
  std::fclose(config);

  platform::desktop_size(game.shell.desktop_width, game.shell.desktop_height);
  game.shell.main_window =
      platform::create_main_window(kWindowTitle, game.shell.desktop_width, game.shell.desktop_height);
  if (!game.shell.main_window) return fail(game, STARTUP_FAILED, "Window cannot be created!");
  const auto icon = draw_game_icon();
  platform::set_window_icon(game.shell.main_window, icon.data(), kGameIconSize, kGameIconSize);

  seed_random(game, static_cast<uint32_t>(std::time(nullptr)));
  timer_start(game.shell.timer);
  hide_log_entries(game.log);

  if (open_texture_archive(game.textures, kTextureArchiveName, texture_offsets,
                           game.shell.error_text) != 1)
    return fail(game, STARTUP_FAILED, "PAK file cannot be opened!");
  if (load_level(game.world.level, kLevelFileName) != 1)
    return fail(game, STARTUP_FAILED, "DEFAULT.MVL cannot be loaded!");
  game.shell.com_initialised = 1;  // nothing to initialise on this platform
  if (input_open(game) != 1)
    return fail(game, STARTUP_INPUT_FAILED, "DirectInput cannot be initialized!");
  if (start_sound_and_music(game) != 1)
    return fail(game, STARTUP_SOUND_FAILED, "Sounds cannot be loaded!");
  if (create_directplay(game) != 1)
    return fail(game, STARTUP_NETWORK_FAILED, "DirectPlay cannot be setup!");

  const int32_t width = game.settings.screen_width;
  const int32_t height = game.settings.screen_height;
  if (set_display_mode(game, width, height, 16) != 1 ||
      create_gl_context(game, width, height, 16) != 1 || load_textures(game.textures) != 1 ||
      init_gl_scene(game, width, height) != 1)
    return fail(game, STARTUP_FAILED, "OpenGL cannot be setup!");

  set_starting_values(game);
  play_music_slot(game, game.music.music_track_slot);
  return STARTUP_OK;
}

int set_display_mode(Game& game, int32_t width, int32_t height, int32_t bits_per_pixel) {
  if (bits_per_pixel != 16) return 8;
  return platform::set_display_mode(game.shell.main_window, width, height, bits_per_pixel) ? 1 : 8;
}

int shut_down(Game& game) {
  free_textures(game.textures);
  release_directplay(game);
  stop_music_slot(game, game.music.music_track_slot);
  music_close(game);
  sound_close(game);
  input_close(game);
  destroy_gl(game, true);
  game.shell.com_initialised = 0;
  return 1;
}
