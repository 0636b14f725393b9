#include "graphics/gl_setup.h"

#include "platform/window.h"
#include "shell/game.h"

// Stand-ins until the graphics land: the context is real so frames can be
// presented, the scene set-up does nothing.
int create_gl_context(Game& game, int32_t, int32_t, int32_t color_bits) {
  if (!platform::create_gl_context(game.shell.main_window, color_bits, 16)) return 8;
  game.graphics.context_created = 1;
  return 1;
}

int init_gl_scene(Game&, int32_t, int32_t) { return 1; }

int destroy_gl(Game& game, bool restore) {
  if (restore && game.shell.main_window) platform::restore_display_mode(game.shell.main_window);
  if (game.graphics.context_created) {
    if (!platform::destroy_gl_context(game.shell.main_window)) return 8;
    game.graphics.context_created = 0;
  }
  return 1;
}
