#include "graphics/view_volume.h"

#include <algorithm>
#include <cmath>

ViewVolume make_view_volume(const float (&projection)[16], const float (&camera)[16], int32_t viewport_height,
                            const std::array<float, 3>& eye) {
  ViewVolume view;
  std::copy(std::begin(camera), std::end(camera), view.camera);
  std::copy(eye.begin(), eye.end(), view.eye);
  view.pixels_per_radian = projection[5] * static_cast<float>(viewport_height) * 0.5f;
  view.farthest_in_view =
      std::sqrt(1.0f + 1.0f / (projection[0] * projection[0]) + 1.0f / (projection[5] * projection[5]));
  // Column-major: clip = projection x camera.
  float clip[16];
  for (int column = 0; column < 4; ++column)
    for (int row = 0; row < 4; ++row) {
      float sum = 0;
      for (int k = 0; k < 4; ++k) sum += projection[k * 4 + row] * camera[column * 4 + k];
      clip[column * 4 + row] = sum;
    }
  auto row = [&](int r, int i) { return clip[i * 4 + r]; };
  for (int plane = 0; plane < 6; ++plane) {
    const int axis = plane / 2;
    const float sign = plane % 2 == 0 ? 1.0f : -1.0f;
    float* p = view.planes[plane];
    for (int i = 0; i < 4; ++i) p[i] = row(3, i) + sign * row(axis, i);
    const float length = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    if (!(length > 0)) return ViewVolume{};
    for (float& v : view.planes[plane]) v /= length;
  }
  view.active = true;
  return view;
}

namespace {

// Rounding in the matrices and the clipper must never drop a pixel: whatever
// is counted out lies outside by at least this much.
constexpr float kViewMargin = 0.05f;

}  // namespace

bool sphere_seen(const ViewVolume& view, float x, float y, float z, float radius) {
  if (!view.active) return true;
  for (const auto& p : view.planes)
    if (p[0] * x + p[1] * y + p[2] * z + p[3] < -radius - kViewMargin) return false;
  return true;
}

bool box_seen(const ViewVolume& view, const float (&a)[3], const float (&b)[3]) {
  if (!view.active) return true;
  for (const auto& p : view.planes) {
    // The corner farthest along the plane's normal.
    float distance = p[3];
    for (int i = 0; i < 3; ++i) distance += p[i] * (p[i] >= 0 ? std::max(a[i], b[i]) : std::min(a[i], b[i]));
    if (distance < -kViewMargin) return false;
  }
  return true;
}

// A pixel covers at most 1 / pixels_per_radian radians, so on a face at
// distance h from the eye, seen from distance r, it covers at most
// r * r / (h * pixels_per_radian) units, and r is at most the face's
// greatest depth times farthest_in_view. With at most half a texel a pixel
// (a margin for the renderer's own estimate) the level of detail is below
// zero everywhere on the face, so only the magnifying filter is ever used and
// the minifying one may be the same without changing a pixel. Its mipmap
// choice per pixel is then spared.
uint32_t magnified_faces(const ViewVolume& view, const LevelObject& box, float y, float size_y,
                         int32_t texels_across) {
  if (!view.active || texels_across <= 0 || !(view.pixels_per_radian > 0)) return 0;
  const float low[3] = {box.x, y, -box.z}, size[3] = {box.size_x, size_y, -box.size_z};
  // Texels per unit along each axis: the box's texture scale when the texture
  // repeats by position, otherwise one copy across the face.
  const float scale[3] = {box.tex_scale_x, box.tex_scale_y, box.tex_scale_z};
  float density[3];
  for (int axis = 0; axis < 3; ++axis) {
    const float per_unit = box.texture_mode == 1 ? std::fabs(scale[axis]) : 1.0f / std::fabs(size[axis]);
    density[axis] = per_unit * static_cast<float>(texels_across);
  }
  uint32_t faces = 0;
  for (int face = kNearFace; face <= kLeftFace; ++face) {
    // The face's fixed axis and its position on it, and its two other axes.
    const int fixed = face <= kFarFace ? 2 : (face <= kBottomFace ? 1 : 0);
    const bool high_side = face == kFarFace || face == kTopFace || face == kRightFace;
    const float plane = low[fixed] + (high_side ? size[fixed] : 0.0f);
    const int a = (fixed + 1) % 3, b = (fixed + 2) % 3;
    const float h = std::fabs(view.eye[fixed] - plane);
    float deepest = 0;
    for (int corner = 0; corner < 4; ++corner) {
      float p[3];
      p[fixed] = plane;
      p[a] = low[a] + ((corner & 1) ? size[a] : 0.0f);
      p[b] = low[b] + ((corner & 2) ? size[b] : 0.0f);
      const float depth = -(view.camera[2] * p[0] + view.camera[6] * p[1] + view.camera[10] * p[2] + view.camera[14]);
      deepest = std::max(deepest, depth);
    }
    const float reach = deepest * view.farthest_in_view;
    const float texels_per_pixel = std::max(density[a], density[b]) * reach * reach / (h * view.pixels_per_radian);
    if (texels_per_pixel <= 0.5f) faces |= 1u << face;  // false for NaN and for h of 0
  }
  return faces;
}

