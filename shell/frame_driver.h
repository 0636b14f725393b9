// The frame driver: the order of every stage of one frame, and the frame
// rate it measures. It runs the core's own stages itself and the stages
// of the program around the core (devices, picture, music, menus) through
// FrameStages, so a windowed game and a program without a window (a
// computer player) run the same frame.
#pragma once

#include <cstdint>

struct GameCore;

// The stages of a frame, in the order run_frame calls them. A windowed
// game's stages receive the core of a Game (shell/game.h); tests and
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

// Runs every stage of one frame in order. 1 keeps the loop running.
int run_frame(GameCore& game, const FrameStages& stages);

// The measured frame rate of a frame that took duration_ms; never 0, so the
// next step stays finite.
int32_t measure_frames_per_second(double duration_ms);
