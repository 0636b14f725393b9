// The score table over the picture while Tab is held in a network game: one
// row per player, most kills first, on a darkened panel in the lower half of
// the virtual screen, below the kill announcements and the chat prompt so
// that both stay readable while it shows.
#include <GL/gl.h>

#include <cstdio>
#include <cstring>

#include "graphics/render.h"
#include "graphics/text.h"
#include "net/score.h"
#include "core/game.h"

namespace {

constexpr int32_t kCharWidth = 10;  // virtual-screen units per character
constexpr int32_t kPanelLeft = 64, kPanelRight = 596, kPanelTop = 208;
constexpr int32_t kPanelMargin = 8;  // below the last row's characters
constexpr int32_t kHeaderY = 186;
constexpr int32_t kFirstRowY = 166, kRowHeight = 20;  // eight rows reach down to y 26
constexpr int32_t kNameX = 90;
constexpr int kNameShown = 30;  // characters of a name; the kills column starts after them
// The right edges of the three number columns.
constexpr int32_t kKillsEnd = 450, kDeathsEnd = 520, kPingEnd = 580;

// The bytes of a name's first kNameShown characters: a character of several
// UTF-8 bytes is one glyph and is never cut in two.
std::size_t shown_bytes(const char* name) {
  std::size_t at = 0, length = 0;
  for (int shown = 0; shown < kNameShown && name[at] != '\0'; ++shown, at += length) glyph_code(name + at, length);
  return at;
}

void draw_right_aligned(const Game& game, int32_t right, int32_t y, const char* text) {
  draw_text(game, right - kCharWidth * static_cast<int32_t>(std::strlen(text)), y, text, 0);
}

// Text is added to the picture, so over a bright wall it would vanish: the
// panel darkens the scene behind the table first.
void draw_panel(int32_t bottom) {
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, 640, 0, 480, -100, 100);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glColor4f(0.0f, 0.0f, 0.0f, 0.7f);
  glBegin(GL_QUADS);
  glVertex2i(kPanelLeft, bottom);
  glVertex2i(kPanelRight, bottom);
  glVertex2i(kPanelRight, kPanelTop);
  glVertex2i(kPanelLeft, kPanelTop);
  glEnd();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopAttrib();
}

}  // namespace

void draw_score_table(const Game& game) {
  std::array<ScoreLine, kMaxPlayers> lines{};
  const std::size_t count = score_lines(game, lines);
  const int32_t last_row_y = kFirstRowY - kRowHeight * (static_cast<int32_t>(count) - 1);
  draw_panel(last_row_y - kPanelMargin);
  glColor3f(0.6f, 0.8f, 1.0f);
  draw_text(game, kNameX, kHeaderY, "PLAYER", 0);
  draw_right_aligned(game, kKillsEnd, kHeaderY, "KILLS");
  draw_right_aligned(game, kDeathsEnd, kHeaderY, "DEATHS");
  draw_right_aligned(game, kPingEnd, kHeaderY, "PING");
  char text[48];
  for (std::size_t n = 0; n < count; ++n) {
    const ScoreLine& line = lines[n];
    const int32_t y = kFirstRowY - kRowHeight * static_cast<int32_t>(n);
    // The local player's row in yellow, marked at its left.
    if (line.local) {
      glColor3f(1.0f, 1.0f, 0.2f);
      draw_text(game, kNameX - 2 * kCharWidth + 2, y, ">", 0);
    } else {
      glColor3f(1.0f, 1.0f, 1.0f);
    }
    std::snprintf(text, sizeof text, "%.*s", static_cast<int>(shown_bytes(line.slot->name)), line.slot->name);
    draw_text(game, kNameX, y, text, 0);
    std::snprintf(text, sizeof text, "%d", line.score.kills);
    draw_right_aligned(game, kKillsEnd, y, text);
    std::snprintf(text, sizeof text, "%d", line.score.deaths);
    draw_right_aligned(game, kDeathsEnd, y, text);
    std::snprintf(text, sizeof text, "%u", line.score.round_trip_ms);
    draw_right_aligned(game, kPingEnd, y, text);
  }
  glColor3f(1.0f, 1.0f, 1.0f);
}
