// The OpenGL context on the main window, the fixed render state every frame
// relies on, and the display lists of the models and the font.
#pragma once

#include <cstdint>

#include "core/graphics_state.h"

struct Game;

// Returns 1, or 8 on any failure. Width and height are not used.
int create_gl_context(Game& game, int32_t width, int32_t height, int32_t color_bits);
// Viewport, projection, fixed state and display lists. Returns 1.
int init_gl_scene(Game& game, int32_t width, int32_t height);
// Deletes the lists and the context; with restore set, gives the desktop back.
// Returns 1, or 8 when the context cannot be released.
int destroy_gl(Game& game, bool restore);
