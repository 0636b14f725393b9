#include "graphics/models.h"

#include <GL/gl.h>

#include <array>
#include <span>

#include "core/game.h"
#include "graphics/gl_setup.h"
#include "graphics/textures.h"

namespace {

// One corner of a face: position, then texture (s, t) with t = 0 at the top
// row of the stored image.
struct Corner {
  float x, y, z, s, t;
};

struct Face {
  float nx, ny, nz;  // normal, where the model gives one
  std::array<Corner, 4> corners;
};

void emit(const Corner& c) {
  glTexCoord2f(c.s, c.t);
  glVertex3f(c.x, c.y, c.z);
}

void emit_quads(std::span<const Face> faces, bool with_normals) {
  glBegin(GL_QUADS);
  for (const Face& face : faces) {
    if (with_normals) glNormal3f(face.nx, face.ny, face.nz);
    for (const Corner& c : face.corners) emit(c);
  }
  glEnd();
}

// The screen-fixed backdrop: 96 units square; the image's top row lies along
// the bottom edge.
constexpr Face kBackdrop = {0, 0, 1, {{{-48, 48, 0, 0, 1}, {-48, -48, 0, 0, 0}, {48, -48, 0, 1, 0}, {48, 48, 0, 1, 1}}}};

// Hull: the sides are left open, the tracks cover them. The front and rear
// normals point against their faces' winding; ambient-only lighting ignores
// normals, so they are kept as the model has them.
constexpr std::array<Face, 4> kHull = {{
    {0, 1, 0, {{{-0.4f, -0.5f, -1.0f, 0, 0}, {-0.4f, -0.5f, 0.9f, 0, 1}, {0.4f, -0.5f, 0.9f, 1, 1}, {0.4f, -0.5f, -1.0f, 1, 0}}}},
    {0, -1, 0, {{{-0.4f, -0.9f, -1.0f, 0, 0}, {0.4f, -0.9f, -1.0f, 1, 0}, {0.4f, -0.9f, 0.9f, 1, 1}, {-0.4f, -0.9f, 0.9f, 0, 1}}}},
    {0, 0, 1, {{{-0.4f, -0.5f, -1.0f, 1, 0}, {0.4f, -0.5f, -1.0f, 0, 0}, {0.4f, -0.9f, -1.0f, 0, 1}, {-0.4f, -0.9f, -1.0f, 1, 1}}}},
    {0, 0, -1, {{{-0.4f, -0.5f, 0.9f, 0, 0}, {-0.4f, -0.9f, 0.9f, 0, 1}, {0.4f, -0.9f, 0.9f, 1, 1}, {0.4f, -0.5f, 0.9f, 1, 0}}}},
}};

// Track blocks: a trapezoid in side view, top from z -1.2 to 1.0 at y -0.45,
// bottom from z -1.1 to 0.9 at y -1.0. The right block mirrors the left with
// each corner order reversed, so both wind outwards.
constexpr std::array<Face, 6> kLeftTrack = {{
    {0, 0, 0, {{{-0.4f, -0.45f, -1.2f, 1, 0}, {-0.4f, -0.45f, 1.0f, 0, 0}, {-0.4f, -1.0f, 0.9f, 0, 1}, {-0.4f, -1.0f, -1.1f, 1, 1}}}},
    {0, 0, 0, {{{-0.8f, -0.45f, -1.2f, 0, 0}, {-0.8f, -1.0f, -1.1f, 0, 1}, {-0.8f, -1.0f, 0.9f, 1, 1}, {-0.8f, -0.45f, 1.0f, 1, 0}}}},
    {0, 0, 0, {{{-0.8f, -0.45f, -1.2f, 0, 0}, {-0.8f, -0.45f, 1.0f, 0, 1}, {-0.4f, -0.45f, 1.0f, 1, 1}, {-0.4f, -0.45f, -1.2f, 1, 0}}}},
    {0, 0, 0, {{{-0.8f, -1.0f, -1.1f, 1, 0}, {-0.4f, -1.0f, -1.1f, 0, 0}, {-0.4f, -1.0f, 0.9f, 0, 1}, {-0.8f, -1.0f, 0.9f, 1, 1}}}},
    {0, 0, 0, {{{-0.8f, -0.45f, -1.2f, 1, 0}, {-0.4f, -0.45f, -1.2f, 0, 0}, {-0.4f, -1.0f, -1.1f, 0, 1}, {-0.8f, -1.0f, -1.1f, 1, 1}}}},
    {0, 0, 0, {{{-0.8f, -0.45f, 1.0f, 0, 0}, {-0.8f, -1.0f, 0.9f, 0, 1}, {-0.4f, -1.0f, 0.9f, 1, 1}, {-0.4f, -0.45f, 1.0f, 1, 0}}}},
}};
constexpr std::array<Face, 6> kRightTrack = {{
    {0, 0, 0, {{{0.4f, -0.45f, -1.2f, 1, 0}, {0.4f, -1.0f, -1.1f, 1, 1}, {0.4f, -1.0f, 0.9f, 0, 1}, {0.4f, -0.45f, 1.0f, 0, 0}}}},
    {0, 0, 0, {{{0.8f, -0.45f, -1.2f, 0, 0}, {0.8f, -0.45f, 1.0f, 1, 0}, {0.8f, -1.0f, 0.9f, 1, 1}, {0.8f, -1.0f, -1.1f, 0, 1}}}},
    {0, 0, 0, {{{0.8f, -0.45f, -1.2f, 0, 0}, {0.4f, -0.45f, -1.2f, 1, 0}, {0.4f, -0.45f, 1.0f, 1, 1}, {0.8f, -0.45f, 1.0f, 0, 1}}}},
    {0, 0, 0, {{{0.8f, -1.0f, -1.1f, 1, 0}, {0.8f, -1.0f, 0.9f, 1, 1}, {0.4f, -1.0f, 0.9f, 0, 1}, {0.4f, -1.0f, -1.1f, 0, 0}}}},
    {0, 0, 0, {{{0.8f, -0.45f, -1.2f, 1, 0}, {0.8f, -1.0f, -1.1f, 1, 1}, {0.4f, -1.0f, -1.1f, 0, 1}, {0.4f, -0.45f, -1.2f, 0, 0}}}},
    {0, 0, 0, {{{0.8f, -0.45f, 1.0f, 0, 0}, {0.4f, -0.45f, 1.0f, 1, 0}, {0.4f, -1.0f, 0.9f, 1, 1}, {0.8f, -1.0f, 0.9f, 0, 1}}}},
}};

// Turret wedge: a rear wall and a top sloping from the rear top edge down to
// the front bottom edge, closed by two triangles.
constexpr std::array<Face, 2> kTurretQuads = {{
    {0, 0, 0, {{{-0.2f, -0.3f, 0.3f, 1, 0}, {-0.2f, -0.5f, 0.3f, 1, 1}, {0.2f, -0.5f, 0.3f, 0, 1}, {0.2f, -0.3f, 0.3f, 0, 0}}}},
    {0, 0, 0, {{{-0.2f, -0.3f, 0.3f, 0, 0}, {0.2f, -0.3f, 0.3f, 1, 0}, {0.2f, -0.5f, -0.3f, 1, 1}, {-0.2f, -0.5f, -0.3f, 0, 1}}}},
}};
constexpr std::array<Corner, 6> kTurretSides = {{
    {-0.2f, -0.3f, 0.3f, 0, 0}, {-0.2f, -0.5f, -0.3f, 1, 1}, {-0.2f, -0.5f, 0.3f, 0, 1},
    {0.2f, -0.3f, 0.3f, 1, 0}, {0.2f, -0.5f, 0.3f, 1, 1}, {0.2f, -0.5f, -0.3f, 0, 1},
}};
// Gun barrel along -z, open at the turret end.
constexpr std::array<Face, 5> kBarrel = {{
    {0, 0, 0, {{{-0.1f, -0.35f, 0.3f, 0, 1}, {0.1f, -0.35f, 0.3f, 1, 1}, {0.1f, -0.35f, -1.5f, 1, 0}, {-0.1f, -0.35f, -1.5f, 0, 0}}}},
    {0, 0, 0, {{{-0.1f, -0.45f, 0.3f, 0, 1}, {-0.1f, -0.45f, -1.5f, 0, 0}, {0.1f, -0.45f, -1.5f, 1, 0}, {0.1f, -0.45f, 0.3f, 1, 1}}}},
    {0, 0, 0, {{{-0.1f, -0.35f, 0.3f, 1, 0}, {-0.1f, -0.35f, -1.5f, 0, 0}, {-0.1f, -0.45f, -1.5f, 0, 1}, {-0.1f, -0.45f, 0.3f, 1, 1}}}},
    {0, 0, 0, {{{0.1f, -0.35f, 0.3f, 0, 0}, {0.1f, -0.45f, 0.3f, 0, 1}, {0.1f, -0.45f, -1.5f, 1, 1}, {0.1f, -0.35f, -1.5f, 1, 0}}}},
    {0, 0, 0, {{{-0.1f, -0.35f, -1.5f, 1, 0}, {0.1f, -0.35f, -1.5f, 0, 0}, {0.1f, -0.45f, -1.5f, 0, 1}, {-0.1f, -0.45f, -1.5f, 1, 1}}}},
}};

// Cube of half-size 1 about the origin (projectiles scale it to side 0.2).
constexpr std::array<Face, 6> kCube = {{
    {0, 0, 1, {{{-1, -1, 1, 0, 0}, {1, -1, 1, 1, 0}, {1, 1, 1, 1, 1}, {-1, 1, 1, 0, 1}}}},
    {0, 0, -1, {{{-1, -1, -1, 1, 0}, {-1, 1, -1, 1, 1}, {1, 1, -1, 0, 1}, {1, -1, -1, 0, 0}}}},
    {0, 1, 0, {{{-1, 1, -1, 0, 1}, {-1, 1, 1, 0, 0}, {1, 1, 1, 1, 0}, {1, 1, -1, 1, 1}}}},
    {0, -1, 0, {{{-1, -1, -1, 1, 1}, {1, -1, -1, 0, 1}, {1, -1, 1, 0, 0}, {-1, -1, 1, 1, 0}}}},
    {1, 0, 0, {{{1, -1, -1, 1, 0}, {1, 1, -1, 1, 1}, {1, 1, 1, 0, 1}, {1, -1, 1, 0, 0}}}},
    {-1, 0, 0, {{{-1, -1, -1, 0, 0}, {-1, -1, 1, 1, 0}, {-1, 1, 1, 1, 1}, {-1, 1, -1, 0, 1}}}},
}};

// Unit particle square facing +z, as a strip.
constexpr std::array<Corner, 4> kBillboard = {{
    {0.5f, 0.5f, 0, 1, 1}, {-0.5f, 0.5f, 0, 0, 1}, {0.5f, -0.5f, 0, 1, 0}, {-0.5f, -0.5f, 0, 0, 0},
}};

}  // namespace

void emit_cube_quads(float x, float y, float z, float half, const float (&eye)[3]) {
  for (const Face& face : kCube) {
    // A face turned away from the eye would be culled anyway: leave it out.
    const float toward = (x + face.nx * half - eye[0]) * face.nx + (y + face.ny * half - eye[1]) * face.ny +
                         (z + face.nz * half - eye[2]) * face.nz;
    if (toward > 0) continue;
    glNormal3f(face.nx, face.ny, face.nz);
    for (const Corner& c : face.corners) {
      glTexCoord2f(c.s, c.t);
      glVertex3f(x + c.x * half, y + c.y * half, z + c.z * half);
    }
  }
}

void emit_billboard_quad(const float (&corners)[4][3], float x, float y, float z) {
  // The strip's corners around the square's edge.
  constexpr int kOrder[4] = {0, 1, 3, 2};
  for (int i : kOrder) {
    glTexCoord2f(kBillboard[static_cast<std::size_t>(i)].s, kBillboard[static_cast<std::size_t>(i)].t);
    glVertex3f(x + corners[i][0], y + corners[i][1], z + corners[i][2]);
  }
}

void emit_glyph_quad(int32_t glyph, float pen_x) {
  constexpr float kCellSpan = 0.0625f;
  const int32_t column = glyph % 16, row = glyph / 16;
  const float s0 = column * kCellSpan, s1 = s0 + kCellSpan;
  const float t1 = 1.0f - (15 - row) * kCellSpan, t0 = t1 - kCellSpan;
  glTexCoord2f(s0, t1);
  glVertex2f(pen_x, 0);
  glTexCoord2f(s0, t0);
  glVertex2f(pen_x, 16);
  glTexCoord2f(s1, t0);
  glVertex2f(pen_x + 16, 16);
  glTexCoord2f(s1, t1);
  glVertex2f(pen_x + 16, 0);
}

void billboard_corners(const float (&matrix)[3][3], float (&corners)[4][3]) {
  for (std::size_t i = 0; i < kBillboard.size(); ++i) {
    const Corner& c = kBillboard[i];
    for (int row = 0; row < 3; ++row) corners[i][row] = matrix[row][0] * c.x + matrix[row][1] * c.y + matrix[row][2] * c.z;
  }
}

namespace {

void compile_backdrop(uint32_t list) {
  glNewList(list, GL_COMPILE);
  emit_quads(std::span(&kBackdrop, 1), true);
  glEndList();
}

void compile_tank(uint32_t first, const TextureBank& bank) {
  glNewList(first, GL_COMPILE);  // hull
  bind_texture_slot(bank, TEXTURE_HULL);
  emit_quads(kHull, true);
  glEndList();

  glNewList(first + 1, GL_COMPILE);  // tracks
  bind_texture_slot(bank, TEXTURE_TRACKS);
  emit_quads(kLeftTrack, false);
  bind_texture_slot(bank, TEXTURE_TRACKS);
  emit_quads(kRightTrack, false);
  glEndList();

  glNewList(first + 2, GL_COMPILE);  // turret with gun
  bind_texture_slot(bank, TEXTURE_HULL);
  emit_quads(kTurretQuads, false);
  glBegin(GL_TRIANGLES);
  for (const Corner& c : kTurretSides) emit(c);
  glEnd();
  bind_texture_slot(bank, TEXTURE_TRACKS);
  emit_quads(kBarrel, false);
  glEndList();
}

// Glyph cell i is column i mod 16, row i div 16 of the font image (row 0 on
// top). Each list draws its 16 x 16 cell and moves the pen 10 units right.
void compile_font(uint32_t first) {
  for (int32_t i = 0; i < kFontGlyphCount; ++i) {
    glNewList(first + static_cast<uint32_t>(i), GL_COMPILE);
    glBegin(GL_QUADS);
    emit_glyph_quad(i, 0);
    glEnd();
    glTranslatef(kGlyphAdvance, 0, 0);
    glEndList();
  }
}

void compile_cube(uint32_t list) {
  glNewList(list, GL_COMPILE);
  emit_quads(kCube, true);
  glEndList();
}

void compile_billboard(uint32_t list) {
  glNewList(list, GL_COMPILE);
  glBegin(GL_TRIANGLE_STRIP);
  for (const Corner& c : kBillboard) emit(c);
  glEnd();
  glEndList();
}

}  // namespace

int build_model_lists(Game& game) {
  DisplayLists& lists = game.graphics.lists;
  lists.backdrop_list = glGenLists(1);
  compile_backdrop(lists.backdrop_list);
  lists.tank_lists = glGenLists(3);
  compile_tank(lists.tank_lists, game.textures);
  lists.font_lists = glGenLists(kFontGlyphCount);
  compile_font(lists.font_lists);
  lists.cube_list = glGenLists(1);
  compile_cube(lists.cube_list);
  lists.billboard_list = glGenLists(1);
  compile_billboard(lists.billboard_list);
  return 1;
}

// A name of 0 means the block was never made; deleting from 0 onwards would
// hit other lists' names.
void delete_model_lists(DisplayLists& lists) {
  auto remove = [](uint32_t& first, GLsizei count) {
    if (first != 0) glDeleteLists(first, count);
    first = 0;
  };
  remove(lists.tank_lists, 3);
  remove(lists.font_lists, kFontGlyphCount);
  remove(lists.cube_list, 1);
  remove(lists.backdrop_list, 1);
  remove(lists.billboard_list, 1);
}
