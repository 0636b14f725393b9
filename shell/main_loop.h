// The top of the game program: the run log, start-up, the message loop that
// runs a frame whenever the window is active and idle, and shutdown.
#pragma once

#include <cstdint>

#include "platform/window.h"
#include "shell/frame_driver.h"

struct Game;

// Runs the whole program in the current directory; returns the exit code.
int program_main(Game& game);

// The message loop, until a quit is asked: a waiting window event is
// handled; else a frame runs while the window is active, and while it is
// inactive the thread waits for an event, serving a network game's session
// meanwhile. Returns the exit code a quit event carried, else 0.
uint32_t run_message_loop(Game& game);

// Runs every stage of one frame in order, with the game's own stages.
int run_frame(Game& game);

// Handles one window event; the Escape walk lives here.
int window_procedure(Game& game, const platform::WindowEvent& event);

// One pass of the main loop that runs a frame: the frame, the buffer swap,
// the hold to the paced frame length when frames are paced, and the frame
// rate measured after it.
void run_one_frame(Game& game);

// Whether frames are held to 1/85 s (unless MORVANE_UNPACED=1), and whether
// the buffer swap waits for the display's refresh.
void choose_frame_pacing(Game& game);
