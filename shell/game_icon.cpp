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

using Icon = std::array<uint32_t, kGameIconSize * kGameIconSize>;

void fill(Icon& icon, int x0, int y0, int x1, int y1, uint32_t colour) {
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x)
      if (x >= 0 && x < kGameIconSize && y >= 0 && y < kGameIconSize) icon[y * kGameIconSize + x] = colour;
}

}  // namespace

// A tank seen from the side, gun raised to the right, with a muzzle flash.
Icon draw_game_icon() {
  Icon icon;
  icon.fill(kClear);
  fill(icon, 3, 22, 28, 28, kTrack);                               // tracks
  for (int x = 5; x <= 26; x += 4) fill(icon, x, 24, x + 1, 26, kTrackLink);  // road wheels
  fill(icon, 2, 17, 29, 21, kHull);                                // hull
  fill(icon, 3, 17, 28, 17, kHullLight);                           // its lit upper edge
  fill(icon, 9, 11, 20, 16, kTurret);                              // turret
  fill(icon, 10, 11, 19, 11, kHullLight);
  for (int i = 0; i < 9; ++i) fill(icon, 20 + i, 13 - i / 2, 21 + i, 14 - i / 2, kBarrel);  // gun
  fill(icon, 29, 7, 31, 9, kMuzzleFlash);
  fill(icon, 30, 6, 30, 10, kMuzzleFlash);
  return icon;
}
