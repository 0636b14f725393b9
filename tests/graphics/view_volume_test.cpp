// The view's arithmetic without a context: what it leaves out, and which box
// faces it finds magnified, for the game's 45-degree view from the origin
// (drawing coordinates: looking along -z).
#include <gtest/gtest.h>

#include <cmath>

#include "graphics/view_volume.h"

namespace {

// gluPerspective(45, 4 / 3, 0.1, 100), column-major.
void projection(float (&m)[16]) {
  const float f = 1.0f / std::tan(22.5f * static_cast<float>(M_PI) / 180.0f), near = 0.1f, far = 100.0f;
  for (float& v : m) v = 0;
  m[0] = f * 3.0f / 4.0f;
  m[5] = f;
  m[10] = (far + near) / (near - far);
  m[11] = -1;
  m[14] = 2 * far * near / (near - far);
}

// The camera turned by a heading about the vertical axis, as the frame's
// glRotatef(heading, 0, 1, 0) turns it.
ViewVolume view(int32_t viewport_height = 768, float heading_degrees = 0) {
  float p[16], camera[16] = {};
  projection(p);
  const float a = heading_degrees * static_cast<float>(M_PI) / 180.0f;
  camera[0] = std::cos(a), camera[2] = -std::sin(a);
  camera[8] = std::sin(a), camera[10] = std::cos(a);
  camera[5] = camera[15] = 1;
  return make_view_volume(p, camera, viewport_height, {0, 0, 0});
}

LevelObject box(float x, float y, float z, float sx, float sy, float sz) {
  LevelObject b{};
  b.in_use = 1;
  b.x = x, b.y = y, b.z = z, b.size_x = sx, b.size_y = sy, b.size_z = sz;
  b.tex_scale_x = b.tex_scale_y = b.tex_scale_z = 1;
  return b;
}

TEST(ViewVolume, LeavesOutOnlyWhatLiesWhollyOutside) {
  const ViewVolume ahead = view();
  ASSERT_TRUE(ahead.active);
  EXPECT_TRUE(sphere_seen(ahead, 0, 0, -10, 0.1f));
  EXPECT_FALSE(sphere_seen(ahead, 0, 0, 5, 1));      // behind the eye
  EXPECT_FALSE(sphere_seen(ahead, 0, 0, -110, 1));   // beyond the far plane
  // Two units beyond the left edge at depth 10, 1.75 from its plane.
  EXPECT_FALSE(sphere_seen(ahead, -7.52f, 0, -10, 1.0f));
  EXPECT_TRUE(sphere_seen(ahead, -7.52f, 0, -10, 1.8f));
  // Boxes by two corners in any order: each of these reaches into the view
  // across one of its six planes (at depth 10 the edges are 5.52 to the
  // side and 4.14 up or down), and each of those lies wholly beyond one;
  // which corner comes first, axis by axis, changes nothing.
  struct Box {
    float low[3], high[3];
  };
  const Box reaching_in[] = {
      {{-20, -1, -11}, {-5, 1, -10}},    {{5, -1, -11}, {20, 1, -10}},      // left, right
      {{-1, 4, -11}, {1, 20, -10}},      {{-1, -20, -11}, {1, -4, -10}},    // top, bottom
      {{-0.01f, -0.01f, -0.5f}, {0.01f, 0.01f, 2}}, {{-1, -1, -120}, {1, 1, -99}},  // near, far
      {{-3, -1, -25}, {3, 1, -20}},
  };
  const Box beyond[] = {
      {{-30, -1, -6}, {-20, 1, -5}}, {{20, -1, -6}, {30, 1, -5}}, {{-1, 9, -11}, {1, 20, -10}},
      {{-1, -20, -11}, {1, -9, -10}}, {{-1, -1, 1}, {1, 1, 3}},     {{-1, -1, -130}, {1, 1, -101}},
  };
  auto seen_in_every_order = [&](const Box& box, bool expected) {
    for (int swapped = 0; swapped < 8; ++swapped) {
      float a[3], b[3];
      for (int axis = 0; axis < 3; ++axis) {
        const bool swap = (swapped >> axis) & 1;
        a[axis] = swap ? box.high[axis] : box.low[axis];
        b[axis] = swap ? box.low[axis] : box.high[axis];
      }
      EXPECT_EQ(box_seen(ahead, a, b), expected) << "corners swapped on axes " << swapped;
      EXPECT_EQ(box_seen(ahead, b, a), expected) << "corners swapped on axes " << (7 - swapped);
    }
  };
  for (const Box& box : reaching_in) seen_in_every_order(box, true);
  for (const Box& box : beyond) seen_in_every_order(box, false);
  // Turned about, what was ahead is behind and the other way round.
  const ViewVolume behind = view(768, 180);
  EXPECT_FALSE(sphere_seen(behind, 0, 0, -10, 0.1f));
  EXPECT_TRUE(sphere_seen(behind, 0, 0, 10, 0.1f));
  // Without a view volume everything counts as seen.
  EXPECT_TRUE(sphere_seen(ViewVolume{}, 0, 0, 500, 0));
  EXPECT_TRUE(box_seen(ViewVolume{}, {0, 0, 500}, {1, 1, 501}));
}

TEST(ViewVolume, FindsFacesMagnifiedOnlyWhereNoPixelCanBeMinified) {
  const ViewVolume ahead = view();
  // A pane filling the view 1.2 ahead, one copy of a 256-texel texture
  // across 8 units: its broad faces are magnified, its thin edges (2560
  // texels a unit across their 0.1) are not.
  LevelObject pane = box(-4, -3.2f, 1.2f, 8, 8, 0.1f);
  pane.texture_mode = 0;
  const uint32_t broad = (1u << kNearFace) | (1u << kFarFace);
  EXPECT_EQ(magnified_faces(ahead, pane, pane.y, pane.size_y, 256), broad);
  // The same pane given from its other corners, with negative sizes.
  LevelObject mirrored = box(4, 4.8f, 1.3f, -8, -8, -0.1f);
  mirrored.texture_mode = 0;
  EXPECT_EQ(magnified_faces(ahead, mirrored, mirrored.y, mirrored.size_y, 256), broad);
  // On a small picture the same pane is no longer magnified for sure.
  EXPECT_EQ(magnified_faces(view(64), pane, pane.y, pane.size_y, 256), 0u);
  // A crate two units ahead with the texture repeating every 4 units shows
  // its front; the floor reaching far away never counts.
  LevelObject crate = box(-0.5f, -1, 2, 1, 1.4f, 1);
  crate.texture_mode = 1;
  crate.tex_scale_x = crate.tex_scale_y = crate.tex_scale_z = 0.25f;
  EXPECT_TRUE(magnified_faces(ahead, crate, crate.y, crate.size_y, 256) & (1u << kNearFace));
  LevelObject floor = box(-64, -3, -64, 128, 2, 128);
  floor.texture_mode = 1;
  EXPECT_EQ(magnified_faces(ahead, floor, floor.y, floor.size_y, 256) & (1u << kTopFace), 0u);
  // No texture, no view, or a box of no thickness: nothing is spared.
  EXPECT_EQ(magnified_faces(ahead, pane, pane.y, pane.size_y, 0), 0u);
  EXPECT_EQ(magnified_faces(ViewVolume{}, pane, pane.y, pane.size_y, 256), 0u);
  LevelObject flat = pane;
  flat.size_z = 0;
  EXPECT_EQ(magnified_faces(ahead, flat, flat.y, flat.size_y, 256) & ~broad, 0u);
}

}  // namespace
