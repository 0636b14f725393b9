// A live OpenGL context: textures uploaded from the built archive, the fixed
// scene state, and the geometry the display lists really produce (captured
// through OpenGL feedback mode, then checked for properties: faces wound
// outwards, glyph cells, pen advance).
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "gl_scene.h"
#include "graphics/gl_setup.h"
#include "graphics/models.h"
#include "graphics/render.h"
#include "graphics/text.h"
#include "graphics/textures.h"
#include "platform/window.h"

namespace {

struct Vertex {
  float x, y, z, s, t;
};
using Polygon = std::vector<Vertex>;

class Scene : public ::testing::Test {
 protected:
  std::unique_ptr<Game> owned = std::make_unique<Game>();
  Game& game = *owned;
  void SetUp() override { ASSERT_TRUE(test_gl::open_scene(game, 640, 480)); }
  void TearDown() override { test_gl::close_scene(game); }

  // Runs `draw` in feedback mode with identity projection, the model scaled
  // by `scale` into the unit cube and turned obliquely (so that no face is
  // seen edge-on and dropped), with a 2 x 2 viewport, and maps the window
  // coordinates back to model units. Culling is off so every face is seen.
  std::vector<Polygon> capture(float scale, const std::function<void()>& draw) {
    std::vector<GLfloat> buffer(1 << 18);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glViewport(0, 0, 2, 2);
    glDisable(GL_CULL_FACE);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glScalef(scale, scale, scale);
    glRotatef(37, 0.3f, 0.8f, 0.5f);
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    draw();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
    const GLint used = glRenderMode(GL_RENDER);
    std::vector<Polygon> polygons;
    constexpr int kFloatsPerVertex = 3 + 4 + 4;  // window xyz, RGBA, strq
    for (GLint i = 0; i < used;) {
      EXPECT_EQ(static_cast<GLint>(buffer[i]), GL_POLYGON_TOKEN);
      if (static_cast<GLint>(buffer[i]) != GL_POLYGON_TOKEN) break;
      const int count = static_cast<int>(buffer[i + 1]);
      i += 2;
      Polygon polygon;
      for (int k = 0; k < count; ++k, i += kFloatsPerVertex) {
        const GLfloat* v = &buffer[i];
        // Scale times rotation: its inverse is its transpose over scale squared.
        const float ndc[3] = {v[0] - 1, v[1] - 1, 2 * v[2] - 1};
        float p[3];
        for (int j = 0; j < 3; ++j) p[j] = (m[j * 4] * ndc[0] + m[j * 4 + 1] * ndc[1] + m[j * 4 + 2] * ndc[2]) / (scale * scale);
        polygon.push_back({p[0], p[1], p[2], v[7], v[8]});
      }
      polygons.push_back(polygon);
    }
    return polygons;
  }

  std::vector<Polygon> capture_list(uint32_t list, float scale) {
    return capture(scale, [list] { glCallList(list); });
  }

  GLint bound_texture() {
    GLint name = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
    return name;
  }
};

struct Vec {
  double x, y, z;
};
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Newell's normal: points to the side from which the corners run
// counter-clockwise.
Vec winding_normal(const Polygon& p) {
  Vec n{0, 0, 0};
  for (std::size_t i = 0; i < p.size(); ++i) {
    const Vertex& a = p[i];
    const Vertex& b = p[(i + 1) % p.size()];
    n.x += (a.y - b.y) * (a.z + b.z);
    n.y += (a.z - b.z) * (a.x + b.x);
    n.z += (a.x - b.x) * (a.y + b.y);
  }
  return n;
}

Vec centroid(const Polygon& p) {
  Vec c{0, 0, 0};
  for (const Vertex& v : p) c = {c.x + v.x, c.y + v.y, c.z + v.z};
  return {c.x / p.size(), c.y / p.size(), c.z / p.size()};
}

// Feedback reports each quad as two triangles; this joins them again for
// checks on a face's corners.
std::vector<Polygon> quads_of(const std::vector<Polygon>& triangles) {
  std::vector<Polygon> quads;
  for (std::size_t i = 0; i + 1 < triangles.size(); i += 2) {
    Polygon quad = triangles[i];
    quad.insert(quad.end(), triangles[i + 1].begin(), triangles[i + 1].end());
    quads.push_back(quad);
  }
  return quads;
}

// Every face, seen from outside the solid around `inside`, runs
// counter-clockwise, so face culling shows only outsides.
void expect_wound_outwards(const std::vector<Polygon>& faces, const std::function<Vec(const Polygon&)>& inside) {
  for (std::size_t i = 0; i < faces.size(); ++i) {
    SCOPED_TRACE("face " + std::to_string(i));
    EXPECT_GT(dot(winding_normal(faces[i]), centroid(faces[i]) - inside(faces[i])), 1e-4);
  }
}

TEST_F(Scene, EveryPresentSlotIsUploadedWithoutPixelMemoryAndEmptySlotsBindZero) {
  for (std::size_t i = 0; i < kTextureSlotCount; ++i) {
    const TextureSlot& slot = game.textures.slots[i];
    EXPECT_EQ(slot.uploaded, slot.present) << i;
    EXPECT_EQ(slot.image.loaded, 0);
    EXPECT_TRUE(slot.image.pixels.empty());
    if (slot.present) {
      EXPECT_TRUE(glIsTexture(slot.texture_name)) << i;
    }
  }
  for (int32_t slot : {9, 1023, -1, 1024, 70000}) {
    bind_texture_slot(game.textures, TEXTURE_HULL);
    bind_texture_slot(game.textures, slot);
    EXPECT_EQ(bound_texture(), 0) << slot;
  }
}

TEST_F(Scene, FreeingTexturesDeletesThemAndIsHarmlessTwice) {
  const uint32_t hull = game.textures.slots[TEXTURE_HULL].texture_name;
  EXPECT_EQ(free_textures(game.textures), 1);
  EXPECT_FALSE(glIsTexture(hull));
  EXPECT_EQ(game.textures.open, 0);
  EXPECT_EQ(game.textures.slots[TEXTURE_HULL].uploaded, 0);
  EXPECT_EQ(free_textures(game.textures), 1);
}

TEST_F(Scene, LoadingStopsAtABrokenSlotKeepingEarlierOnes) {
  TextureBank bank;
  std::array<int32_t, kTextureSlotCount> offsets{};
  offsets[2] = texture_offsets[3];  // the smoke puff
  offsets[5] = 2;                   // inside the font's header: not "BM"
  offsets[7] = texture_offsets[7];
  char error_text[80] = {};
  ASSERT_EQ(open_texture_archive(bank, MORVANE_GAME_DIR "/mrvn.pak", offsets, error_text), 1);
  EXPECT_EQ(load_textures(bank), 0);
  EXPECT_EQ(bank.slots[2].uploaded, 1);
  EXPECT_EQ(bank.slots[5].uploaded, 0);
  EXPECT_EQ(bank.slots[7].uploaded, 0);
  free_textures(bank);
}

TEST_F(Scene, TankListsBindTheTexturesUploadedBeforeThem) {
  const DisplayLists& lists = game.graphics.lists;
  glCallList(hull_list(lists));
  EXPECT_EQ(bound_texture(), static_cast<GLint>(game.textures.slots[TEXTURE_HULL].texture_name));
  glCallList(tracks_list(lists));
  EXPECT_EQ(bound_texture(), static_cast<GLint>(game.textures.slots[TEXTURE_TRACKS].texture_name));
  bind_texture_slot(game.textures, 0);
  glCallList(turret_list(lists));  // turret in hull camouflage, then the gun in track steel
  EXPECT_EQ(bound_texture(), static_cast<GLint>(game.textures.slots[TEXTURE_TRACKS].texture_name));
  EXPECT_NE(game.textures.slots[TEXTURE_TRACKS].texture_name, 0u);
}

TEST_F(Scene, SolidModelsAreWoundOutwards) {
  const DisplayLists& lists = game.graphics.lists;
  const auto hull = capture_list(hull_list(lists), 0.5f);
  ASSERT_EQ(hull.size(), 2 * 4u);
  expect_wound_outwards(hull, [](const Polygon&) { return Vec{0, -0.7, -0.05}; });

  const auto tracks = capture_list(tracks_list(lists), 0.5f);
  ASSERT_EQ(tracks.size(), 2 * 12u);
  expect_wound_outwards(tracks, [](const Polygon& p) { return Vec{centroid(p).x < 0 ? -0.6 : 0.6, -0.7, -0.1}; });

  const auto turret = capture_list(turret_list(lists), 0.5f);
  ASSERT_GE(turret.size(), 14u);  // wedge: 2 quads (and 2 triangles); barrel: 5 quads
  std::vector<Polygon> wedge, barrel;
  for (const Polygon& p : turret) {
    bool in_barrel = false;
    for (const Vertex& v : p) in_barrel = in_barrel || std::fabs(std::fabs(v.x) - 0.1f) < 1e-3f;
    (in_barrel ? barrel : wedge).push_back(p);
  }
  EXPECT_EQ(barrel.size(), 10u);
  expect_wound_outwards(wedge, [](const Polygon&) { return Vec{0, -0.45, 0.15}; });
  expect_wound_outwards(barrel, [](const Polygon&) { return Vec{0, -0.4, -0.6}; });

  const auto cube = capture_list(lists.cube_list, 0.5f);
  ASSERT_EQ(cube.size(), 2 * 6u);
  expect_wound_outwards(cube, [](const Polygon&) { return Vec{0, 0, 0}; });

  const auto box = capture(0.5f, [] { draw_box(0, 0, 0, 1, 1, 1, 1, 1, 1, 0); });
  ASSERT_EQ(box.size(), 2 * 6u);
  expect_wound_outwards(box, [](const Polygon&) { return Vec{0.5, 0.5, -0.5}; });
}

// Feedback drops the triangles of a list that also holds quads (a quirk of
// the software rasteriser), so the turret's side walls are checked by
// drawing: with a clip plane keeping one half of the turret, a wall must
// show from outside and vanish (culled) from inside.
TEST_F(Scene, TurretSideWallsFaceOutwards) {
  glClearColor(0, 0, 0, 0);
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-1, 1, -1, 1, -2, 2);
  glMatrixMode(GL_MODELVIEW);
  glEnable(GL_CLIP_PLANE0);
  auto wall_seen = [&](double keep_side, float turn) {
    glClear(GL_COLOR_BUFFER_BIT);
    glLoadIdentity();
    glRotatef(turn, 0, 1, 0);
    const GLdouble plane[4] = {keep_side, 0, 0, 0};  // keeps the half where keep_side * x >= 0
    glClipPlane(GL_CLIP_PLANE0, plane);
    glColor3f(1, 1, 1);
    glCallList(turret_list(game.graphics.lists));
    // The wall's lower rear corner (y -0.48, z 0.25) lands at column 400
    // after a turn of 90 degrees, 240 after -90; only the wall is there.
    const test_gl::Frame frame = test_gl::read_frame(640, 480);
    const uint8_t* p = frame.at(turn > 0 ? 400 : 240, 355);
    return p[0] + p[1] + p[2] > 60;
  };
  EXPECT_TRUE(wall_seen(-1, 90));    // left wall from the left
  EXPECT_FALSE(wall_seen(-1, -90));  // left wall from inside
  EXPECT_TRUE(wall_seen(1, -90));    // right wall from the right
  EXPECT_FALSE(wall_seen(1, 90));    // right wall from inside
  glDisable(GL_CLIP_PLANE0);
}

TEST_F(Scene, BackdropFacesTheViewerWithTheImageTopAlongItsBottomEdge) {
  const auto triangles = capture_list(game.graphics.lists.backdrop_list, 1.0f / 80);
  ASSERT_EQ(triangles.size(), 2u);
  EXPECT_GT(winding_normal(triangles[0]).z, 0);
  EXPECT_GT(winding_normal(triangles[1]).z, 0);
  const Polygon square = quads_of(triangles)[0];
  for (const Vertex& v : square) {
    EXPECT_NEAR(std::fabs(v.x), 48, 1e-3);
    EXPECT_FLOAT_EQ(v.t, v.y < 0 ? 0.0f : 1.0f);
  }
}

TEST_F(Scene, BoxSidesShowImagesUprightAndWorldTilingIsSeamless) {
  const auto faces = quads_of(capture(0.1f, [] {
    glPushMatrix();
    draw_box(0, 0, 0, 2, 3, 1, 0.25f, 0.25f, 0.25f, 1);
    glPopMatrix();
    draw_box(2, 0, 0, 2, 3, 1, 0.25f, 0.25f, 0.25f, 1);
  }));
  ASSERT_EQ(faces.size(), 12u);
  // Sides: the upper edge samples nearer the image's top (smaller t).
  for (std::size_t f : {0u, 1u, 4u, 5u}) {
    float top = 0, bottom = 0;
    for (const Vertex& v : faces[f]) (v.y > 1.5f ? top : bottom) = v.t;
    EXPECT_LT(top, bottom) << f;
  }
  // The near face's right edge of the first box meets the second box's left
  // edge at the same s.
  auto s_at_x = [](const Polygon& p, float x) {
    for (const Vertex& v : p)
      if (std::fabs(v.x - x) < 1e-3) return v.s;
    return -1.0f;
  };
  EXPECT_NEAR(s_at_x(faces[0], 2), s_at_x(faces[6], 2), 1e-5);
  EXPECT_NEAR(s_at_x(faces[0], 2), 0.5f, 1e-5);
}

TEST_F(Scene, GlyphListsSampleTheirCellAndAdvanceTheirPen) {
  const uint32_t font = game.graphics.lists.font_lists;
  const auto glyphs = quads_of(capture(1.0f / 128, [font] {
    glListBase(font - 32);
    glCallLists(3, GL_BYTE, "A~A");
  }));
  ASSERT_EQ(glyphs.size(), 3u);
  // 'A' is cell 33 of set 0: column 1, row 2 (row 0 on top of the image).
  for (const Vertex& v : glyphs[0]) {
    EXPECT_NEAR(v.s, v.x < 8 ? 1 / 16.0f : 2 / 16.0f, 1e-5);
    EXPECT_NEAR(v.t, v.y > 8 ? 2 / 16.0f : 3 / 16.0f, 1e-5);  // the top edge samples the cell's top
  }
  for (std::size_t i = 0; i < glyphs.size(); ++i) {
    float left = 1e9f;
    for (const Vertex& v : glyphs[i]) left = std::min(left, v.x);
    EXPECT_NEAR(left, 10.0f * i, 1e-2);
  }

  const char text[] = "The quick";
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glListBase(font + 128 - 32);
  glCallLists(9, GL_BYTE, text);
  GLfloat matrix[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
  EXPECT_FLOAT_EQ(matrix[12], 90.0f);
  EXPECT_FLOAT_EQ(matrix[13], 0.0f);
}

TEST_F(Scene, DrawnLetterMatchesItsCellInTheFontImage) {
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glColor4f(1, 1, 1, 1);
  draw_text(game, 0, 0, "A", 0);
  const test_gl::Frame frame = test_gl::read_frame(640, 480);
  BitmapImage font;
  ASSERT_EQ(load_bitmap(font, MORVANE_GAME_DIR "/mrvn.pak", texture_offsets[TEXTURE_FONT]), 1);
  int ink = 0, worst = 0;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      // Screen row 479 - y is glyph row 15 - y from the cell's top (row 2).
      const uint8_t* pixel = frame.at(x, 479 - y);
      const std::size_t texel = ((2 * 16 + 15 - y) * 256 + 16 + x) * 3;
      ink += font.pixels[texel] > 128;
      worst = std::max(worst, std::abs(pixel[0] - font.pixels[texel + 2]));
    }
  }
  EXPECT_GT(ink, 15);
  EXPECT_LE(worst, 8);
}

TEST_F(Scene, TearDownWithoutRestoreStillDeletesListsAndContext) {
  const uint32_t font = game.graphics.lists.font_lists;
  ASSERT_TRUE(glIsList(font));
  free_textures(game.textures);
  EXPECT_EQ(destroy_gl(game, false), 1);
  EXPECT_EQ(game.graphics.context_created, 0);
  EXPECT_EQ(game.graphics.lists.font_lists, 0u);
  EXPECT_EQ(game.graphics.lists.tank_lists, 0u);
  EXPECT_EQ(destroy_gl(game, false), 1);  // nothing left to release
}

TEST(SceneModes, AspectFollowsTheConfiguredMode) {
  for (auto [width, height] : {std::pair{640, 480}, std::pair{1280, 720}}) {
    auto game = std::make_unique<Game>();
    ASSERT_TRUE(test_gl::open_scene(*game, width, height));
    GLfloat projection[16];
    GLint viewport[4];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_NEAR(projection[5] / projection[0], static_cast<double>(width) / height, 1e-5);
    EXPECT_EQ(viewport[2], width);
    EXPECT_EQ(viewport[3], height);
    test_gl::close_scene(*game);
  }
}

}  // namespace

// The drawing size belongs to the window that asked for it, and the platform
// layer starts again after a full shut-down (the game shuts it down on exit).
TEST(SceneModes, ModeSizeBelongsToItsWindowAndTheLayerRestartsAfterShutDown) {
  EXPECT_FALSE(platform::set_display_mode(nullptr, 640, 480, 16));
  auto first = std::make_unique<Game>();
  ASSERT_TRUE(test_gl::open_scene(*first, 320, 240));
  test_gl::close_scene(*first);
  platform::shut_down();
  platform::shut_down();  // harmless twice
  auto second = std::make_unique<Game>();
  ASSERT_TRUE(test_gl::open_scene(*second, 400, 300));
  EXPECT_EQ(render_frame(*second), 1);
  test_gl::close_scene(*second);
}
