// The stages of one frame that the frame driver (shell/frame_driver.h) runs
// around the core's own.
#pragma once

struct GameCore;

// The stages of a frame, in the order run_frame calls them. A windowed
// game's stages receive the core of a Game (core/game.h); tests and
// programs without a window put stand-ins in their place.
struct FrameStages {
  int (*input_poll)(GameCore&);
  int (*send_status)(GameCore&);
  int (*receive_messages)(GameCore&);
  void (*update_music_rotation)(GameCore&);
  int (*simulation_step)(GameCore&, float step);
  int (*render_frame)(GameCore&);
  int (*session_menu_frame)(GameCore&);
  int (*pause_menu_frame)(GameCore&);
  int (*chat_entry_frame)(GameCore&);
  int (*entry_prompt_frame)(GameCore&);
};
