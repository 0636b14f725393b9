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
constexpr uint8_t kUnknownGlyph = '?';
// The lowercase Latin-1 letters fill the 32 cells after the ASCII ones:
// U+00DF..U+00F6 from code 128 on, U+00F8..U+00FF after them.
constexpr uint8_t kFirstLatinCode = 128;
constexpr uint32_t kFirstLatinLetter = 0xDF;
constexpr uint32_t kDivisionSign = 0xF7;

// The unaccented capital of each uppercase Latin-1 letter U+00C0..U+00DE;
// '?' for the multiplication sign U+00D7.
constexpr char kCapitalBase[] = "AAAAAAACEEEEIIIIDNOOOOO?OUUUUYP";

bool continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Decodes one well-formed UTF-8 character of 2 to 4 bytes at s; 0 when the
// bytes are not one (overlong forms, surrogates and values past U+10FFFF
// included).
std::size_t decode_utf8(const unsigned char* s, uint32_t& code_point) {
  const unsigned char lead = s[0];
  std::size_t length = 0;
  uint32_t value = 0, least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2, value = lead & 0x1F, least = 0x80;
  else if (lead >= 0xE0 && lead <= 0xEF) length = 3, value = lead & 0x0F, least = 0x800;
  else if (lead >= 0xF0 && lead <= 0xF4) length = 4, value = lead & 0x07, least = 0x10000;
  else return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if (!continuation(s[i])) return 0;  // a NUL ends the text here too
    value = (value << 6) | (s[i] & 0x3F);
  }
  if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  code_point = value;
  return length;
}

uint8_t glyph_of_code_point(uint32_t code_point) {
  if (code_point >= 0xC0 && code_point <= 0xDE) return static_cast<uint8_t>(kCapitalBase[code_point - 0xC0]);
  if (code_point < kFirstLatinLetter || code_point > 0xFF || code_point == kDivisionSign) return kUnknownGlyph;
  const uint32_t skip = code_point > kDivisionSign ? 1 : 0;
  return static_cast<uint8_t>(kFirstLatinCode + code_point - kFirstLatinLetter - skip);
}

}  // namespace

uint8_t glyph_code(const char* text, std::size_t& length) {
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  length = 1;
  if (s[0] < 32) return ' ';
  if (s[0] <= 127) return s[0];
  uint32_t code_point = 0;
  const std::size_t taken = decode_utf8(s, code_point);
  if (taken == 0) return kUnknownGlyph;
  length = taken;
  return glyph_of_code_point(code_point);
}

int32_t text_columns(const char* text) {
  int32_t columns = 0;
  for (std::size_t at = 0, length = 0; text && text[at] != '\0' && columns < 255; at += length, ++columns)
    glyph_code(text + at, length);
  return columns;
}

// Text is laid over the picture on a 640 x 480 virtual screen, additively and
// without depth, so it is never hidden by the scene. Longer strings are cut at
// 255 characters.
void draw_text(const Game& game, int32_t x, int32_t y, const char* text, int32_t font_set) {
  // Only sets 0 and 1 exist; any other number would call lists outside the
  // font's block.
  if (font_set != 1) font_set = 0;
  uint8_t buffer[kTextBufferSize];
  std::size_t length = 0;
  for (std::size_t at = 0, taken = 0; text && length < kTextBufferSize - 1 && text[at] != '\0'; at += taken)
    buffer[length++] = glyph_code(text + at, taken);

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
    const int32_t glyph = kGlyphsPerSet * font_set + buffer[i] - kFirstPrintable;
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
