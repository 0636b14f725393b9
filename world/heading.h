// Headings in degrees and the direction they point: a heading h becomes the
// angle a = (360 - h) * pi / 180; its sine and cosine are taken in extended
// precision and kept as single-precision floats, so every program of a game
// computes the same values.
#pragma once

#include <cmath>

inline constexpr double kDegreesToRadians = 0.017453292519943295;

struct Direction {
  float sin_a;
  float cos_a;
};

inline Direction heading_direction(long double heading) {
  const long double a = (360.0L - heading) * static_cast<long double>(kDegreesToRadians);
  return Direction{static_cast<float>(sinl(a)), static_cast<float>(cosl(a))};
}
