// One running game program: the core without a window, and the window,
// display, sound, music and menus around it, in one object, so that a test
// can build a host and clients side by side in one process.
#pragma once

#include <cstdint>

#include "core/audio_state.h"
#include "core/frame_stages.h"
#include "core/frame_timer.h"
#include "core/game_core.h"
#include "core/graphics_state.h"
#include "core/menu_state.h"

namespace platform {
struct Window;
}

inline constexpr std::size_t kErrorTextSize = 80;

struct ShellState {
  char error_text[kErrorTextSize] = {};
  platform::Window* main_window = nullptr;
  int32_t desktop_width = 0;
  int32_t desktop_height = 0;
  FrameTimer timer{};
  int32_t com_initialised = 0;  // kept for the start-up order; nothing to do on Linux
  bool paced = true;            // frames held to 1/85 s; off only for benchmarks
};

// The windowed game's stages: its devices, picture, music and menus around
// the core's own (defined with the main loop, in shell/main_loop.cpp).
FrameStages default_frame_stages();

struct Game : GameCore {
  // Sets the core's hooks to the window's (shell/window_hooks.cpp): the shot
  // sound, and closing the window when the session is lost.
  Game();

  ShellState shell{};
  TextureBank textures{};
  GraphicsState graphics{};
  SoundState sound{};
  MusicState music{};
  MenuState menus{};
  FrameStages stages = default_frame_stages();
};
