// What the view of a frame takes in: its six planes, to leave out what lies
// wholly outside it, and a bound on how far a box face is magnified, to
// spare the mipmap choice where it cannot matter. Pure arithmetic on the
// frame's matrices; drawing coordinates are the world's with z negated.
#pragma once

#include <array>
#include <cstdint>

#include "world/level.h"

struct ViewVolume {
  float planes[6][4] = {};        // (a, b, c, d), the unit normal (a, b, c) pointing inwards
  bool active = false;            // false: everything counts as seen, no face as magnified
  float camera[16] = {};          // the camera matrix, column-major
  float eye[3] = {};              // the eye in drawing coordinates
  float pixels_per_radian = 0;    // the focal length in pixels: no pixel subtends more
  float farthest_in_view = 0;     // a point in view lies at most this times its depth away
};

// From the projection and camera matrices (column-major, as OpenGL keeps
// them), the viewport's height in pixels and the eye's position.
ViewVolume make_view_volume(const float (&projection)[16], const float (&camera)[16], int32_t viewport_height,
                            const std::array<float, 3>& eye);

// A sphere about a point; false only when it lies wholly outside the view.
bool sphere_seen(const ViewVolume& view, float x, float y, float z, float radius);
// An axis-aligned box given by two opposite corners in any order.
bool box_seen(const ViewVolume& view, const float (&a)[3], const float (&b)[3]);

// The faces of a level box as draw_box draws them (bit 0 near, then far,
// top, bottom, right, left), drawn from y up by size_y, that are magnified
// wherever they show with a texture of texels_across texels.
enum BoxFace { kNearFace, kFarFace, kTopFace, kBottomFace, kRightFace, kLeftFace };
uint32_t magnified_faces(const ViewVolume& view, const LevelObject& box, float y, float size_y,
                         int32_t texels_across);
