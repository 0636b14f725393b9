// The OpenGL context on the main window, the fixed render state every frame
// relies on, and the display lists of the models and the font.
#pragma once

#include <cstdint>

struct Game;

// Display-list names; each block comes from one glGenLists call.
struct DisplayLists {
  uint32_t backdrop_list = 0;
  uint32_t tank_lists = 0;  // hull, tracks, turret: first, first + 1, first + 2
  uint32_t font_lists = 0;  // 256 glyph cells
  uint32_t cube_list = 0;
  uint32_t billboard_list = 0;
};

struct GraphicsState {
  int32_t context_created = 0;
  DisplayLists lists{};
  // Spares the work that cannot change the picture: what lies wholly outside
  // the view, and the choice between mipmap levels on box faces that are
  // magnified wherever they show (tests turn it off to show that the picture
  // stays the same).
  bool spare_work = true;
};

// Returns 1, or 8 on any failure. Width and height are not used.
int create_gl_context(Game& game, int32_t width, int32_t height, int32_t color_bits);
// Viewport, projection, fixed state and display lists. Returns 1.
int init_gl_scene(Game& game, int32_t width, int32_t height);
// Deletes the lists and the context; with restore set, gives the desktop back.
// Returns 1, or 8 when the context cannot be released.
int destroy_gl(Game& game, bool restore);
