#include "shell/game_icon.h"

namespace {

constexpr uint32_t kClear = 0x00000000;
constexpr uint32_t kTrack = 0xFF2B2B2B;
constexpr uint32_t kTrackLink = 0xFF575757;
constexpr uint32_t kHull = 0xFF2F4F8F;  // the blue of the tanks in the game
constexpr uint32_t kHullLight = 0xFF5C7FC4;
constexpr uint32_t kTurret = 0xFF3B63AD;
constexpr uint32_t kBarrel = 0xFF1E2E52;
constexpr uint32_t kMuzzleFlash = 0xFFFFC040;

// A filled rectangle of the 32 x 32 design, corners included.
struct Block {
  int x0, y0, x1, y1;
  uint32_t colour;
};

constexpr int kMaxBlocks = 32;

struct Drawing {
  Block blocks[kMaxBlocks] = {};
  int count = 0;
  constexpr void fill(int x0, int y0, int x1, int y1, uint32_t colour) {
    blocks[count++] = {x0, y0, x1, y1, colour};
  }
};

// A tank seen from the side, gun raised to the right, with a muzzle flash;
// later blocks cover earlier ones.
constexpr Drawing tank() {
  Drawing d;
  d.fill(3, 22, 28, 28, kTrack);                                          // tracks
  for (int x = 5; x <= 26; x += 4) d.fill(x, 24, x + 1, 26, kTrackLink);  // road wheels
  d.fill(2, 17, 29, 21, kHull);                                           // hull
  d.fill(3, 17, 28, 17, kHullLight);                                      // its lit upper edge
  d.fill(9, 11, 20, 16, kTurret);                                         // turret
  d.fill(10, 11, 19, 11, kHullLight);
  for (int i = 0; i < 9; ++i) d.fill(20 + i, 13 - i / 2, 21 + i, 14 - i / 2, kBarrel);  // gun
  d.fill(29, 7, 31, 9, kMuzzleFlash);
  d.fill(30, 6, 30, 10, kMuzzleFlash);
  return d;
}

constexpr Drawing kTank = tank();

// The colour at a point of the design (in design pixels).
uint32_t colour_at(double x, double y) {
  uint32_t colour = kClear;
  for (int i = 0; i < kTank.count; ++i) {
    const Block& b = kTank.blocks[i];
    if (x >= b.x0 && x < b.x1 + 1 && y >= b.y0 && y < b.y1 + 1) colour = b.colour;
  }
  return colour;
}

// Samples per pixel along each axis; at 32 pixels all of a pixel's samples
// fall in the same design pixel.
constexpr int kSamples = 4;

uint32_t pixel_colour(int32_t size, int32_t px, int32_t py) {
  const double scale = static_cast<double>(kGameIconSize) / size;
  uint32_t alpha = 0, red = 0, green = 0, blue = 0;  // sums, colours weighted by alpha
  for (int sy = 0; sy < kSamples; ++sy)
    for (int sx = 0; sx < kSamples; ++sx) {
      uint32_t c = colour_at((px + (sx + 0.5) / kSamples) * scale, (py + (sy + 0.5) / kSamples) * scale);
      uint32_t a = c >> 24;
      alpha += a;
      red += ((c >> 16) & 0xFF) * a;
      green += ((c >> 8) & 0xFF) * a;
      blue += (c & 0xFF) * a;
    }
  if (alpha == 0) return kClear;
  constexpr uint32_t kCount = kSamples * kSamples;
  return ((alpha + kCount / 2) / kCount) << 24 | ((red + alpha / 2) / alpha) << 16 |
         ((green + alpha / 2) / alpha) << 8 | (blue + alpha / 2) / alpha;
}

}  // namespace

void draw_game_icon(int32_t size, uint32_t* pixels) {
  for (int32_t y = 0; y < size; ++y)
    for (int32_t x = 0; x < size; ++x) pixels[y * size + x] = pixel_colour(size, x, y);
}

std::array<uint32_t, kGameIconSize * kGameIconSize> draw_game_icon() {
  std::array<uint32_t, kGameIconSize * kGameIconSize> icon;
  draw_game_icon(kGameIconSize, icon.data());
  return icon;
}
