// One running game program: every subsystem's state in one object, so that
// a test can build a host and clients side by side in one process.
#pragma once

#include <cstdint>

#include "audio/music.h"
#include "audio/sound.h"
#include "graphics/gl_setup.h"
#include "graphics/textures.h"
#include "menus/menus.h"
#include "net/message_log.h"
#include "net/protocol.h"
#include "net/session.h"
#include "shell/frame_timer.h"
#include "shell/settings.h"
#include "world/input.h"
#include "world/world_state.h"

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

// The stages of a frame, in the order run_frame calls them. The real
// operations by default; tests put recording stand-ins in their place.
struct FrameStages {
  int (*input_poll)(Game&);
  int (*send_status)(Game&);
  int (*receive_messages)(Game&);
  void (*update_music_rotation)(Game&);
  int (*simulation_step)(Game&, float step);
  int (*render_frame)(Game&);
  int (*session_menu_frame)(Game&);
  int (*pause_menu_frame)(Game&);
  int (*chat_entry_frame)(Game&);
  int (*entry_prompt_frame)(Game&);
  // The object stand-in stages work for (a computer player's decision
  // maker, say); null for the real stages.
  void* owner = nullptr;
};

FrameStages default_frame_stages();

struct Game {
  GameSettings settings{};
  ShellState shell{};
  WorldState world{};
  MessageLog log{};
  InputState input{};
  TextureBank textures{};
  GraphicsState graphics{};
  SoundState sound{};
  MusicState music{};
  SessionState session{};
  ProtocolState protocol{};
  MenuState menus{};
  FrameStages stages = default_frame_stages();
  uint32_t random_state = 1;  // the game's own pseudo-random generator
};

// The game's pseudo-random generator (the C library's rand() is process-wide,
// and two games in one test must not share it). Values 0..32767.
void seed_random(Game& game, uint32_t seed);
int32_t next_random(Game& game);
