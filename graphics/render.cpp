#include "graphics/render.h"

#include <GL/gl.h>

#include "shell/game.h"

// Stand-in until the renderer lands: a cleared frame.
int render_frame(Game&) {
  glClearColor(0.5f, 0.5f, 0.5f, 0.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  return 1;
}

int draw_box(float, float, float, float, float, float, float, float, float, int32_t) { return 1; }

float planar_distance(float ax, float az, float bx, float bz) {
  float dx = bx > ax ? bx - ax : ax - bx;
  float dz = bz > az ? bz - az : az - bz;
  float m = dx < dz ? dx : dz;
  return dx + dz - m * 0.5f - m * 0.25f + m * 0.0625f;
}
