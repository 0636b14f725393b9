#include "graphics/gl_setup.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "core/game.h"
#include "graphics/models.h"
#include "platform/window.h"

namespace {

constexpr double kFieldOfViewDegrees = 45.0;
// The near plane is the single-precision 0.1 widened, as the projection has
// always been set up.
constexpr double kNearPlane = static_cast<double>(0.1f);
constexpr double kFarPlane = 100.0;

}  // namespace

// The platform layer chooses the pixel format (double-buffered RGBA, 16-bit
// depth) and binds the off-screen surface of the display mode's size.
int create_gl_context(Game& game, int32_t, int32_t, int32_t color_bits) {
  if (!game.shell.main_window) return 8;
  if (!platform::create_gl_context(game.shell.main_window, color_bits, 16)) return 8;
  game.graphics.context_created = 1;
  return 1;
}

// The order matters: the display lists built in step 4 bind texture names, so
// the textures must already be uploaded.
int init_gl_scene(Game& game, int32_t width, int32_t height) {
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(kFieldOfViewDegrees, static_cast<double>(width) / static_cast<double>(height), kNearPlane,
                 kFarPlane);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  build_model_lists(game);
  glEnable(GL_TEXTURE_2D);
  glShadeModel(GL_SMOOTH);
  glClearColor(0.5f, 0.5f, 0.5f, 0.0f);
  glClearDepth(1.0);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_COLOR_MATERIAL);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  // Ambient only: light 1's diffuse and specular stay black, so normals never
  // change the shading.
  const GLfloat ambient[4] = {0.5f, 0.5f, 0.5f, 1.0f};
  glLightfv(GL_LIGHT1, GL_AMBIENT, ambient);
  glEnable(GL_LIGHT1);
  glColor4f(1.0f, 1.0f, 1.0f, 0.5f);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glEnable(GL_CULL_FACE);
  return 1;
}

int destroy_gl(Game& game, bool restore) {
  if (game.graphics.context_created) delete_model_lists(game.graphics.lists);
  if (restore && game.shell.main_window) platform::restore_display_mode(game.shell.main_window);
  if (game.graphics.context_created) {
    if (!platform::destroy_gl_context(game.shell.main_window)) return 8;
    game.graphics.context_created = 0;
  }
  return 1;
}
