// The frame driver: the order of every stage of one frame, and the frame
// rate it measures. It runs the core's own stages itself and the stages
// of the program around the core (devices, picture, music, menus) through
// FrameStages, so a windowed game and a program without a window (a
// computer player) run the same frame.
#pragma once

#include <cstdint>

#include "core/frame_stages.h"

// Runs every stage of one frame in order. 1 keeps the loop running.
int run_frame(GameCore& game, const FrameStages& stages);

// The measured frame rate of a frame that took duration_ms; never 0, so the
// next step stays finite.
int32_t measure_frames_per_second(double duration_ms);
