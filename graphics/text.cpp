#include "graphics/text.h"

#include <GL/gl.h>

#include <cstddef>

#include "core/game.h"
#include "graphics/models.h"
#include "graphics/textures.h"

namespace {

constexpr std::size_t kTextBufferSize = 256;  // at most 255 characters are drawn
constexpr int32_t kGlyphsPerSet = 128;
constexpr int32_t kFirstPrintable = 32;

}  // namespace

// Text is laid over the picture on a 640 x 480 virtual screen, additively and
// without depth, so it is never hidden by the scene. Longer strings are cut at
// 255 characters; unprintable bytes become spaces.
void draw_text(const Game& game, int32_t x, int32_t y, const char* text, int32_t font_set) {
  // Only sets 0 and 1 exist; any other number would call lists outside the
  // font's block.
  if (font_set != 1) font_set = 0;
  char buffer[kTextBufferSize];
  std::size_t length = 0;
  for (; text && length < kTextBufferSize - 1 && text[length] != '\0'; ++length) {
    const auto c = static_cast<unsigned char>(text[length]);
    buffer[length] = (c < 32 || c > 127) ? ' ' : static_cast<char>(c);
  }

  bind_texture_slot(game.textures, TEXTURE_FONT);
  glDisable(GL_CULL_FACE);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glDisable(GL_LIGHTING);

  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, 640, 0, 480, -100, 100);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glTranslatef(static_cast<float>(x), static_cast<float>(y), 0);

  // The glyphs' cells in one batch, each pen position kGlyphAdvance on; the
  // same quads the font's display lists hold.
  glBegin(GL_QUADS);
  for (std::size_t i = 0; i < length; ++i) {
    const int32_t glyph = kGlyphsPerSet * font_set + static_cast<unsigned char>(buffer[i]) - kFirstPrintable;
    emit_glyph_quad(glyph, kGlyphAdvance * static_cast<float>(i));
  }
  glEnd();

  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();

  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_LIGHTING);
  glEnable(GL_CULL_FACE);
}
