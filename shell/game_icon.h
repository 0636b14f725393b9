// The game program's own icon: a small tank, drawn at start-up.
#pragma once

#include <array>
#include <cstdint>

inline constexpr int32_t kGameIconSize = 32;

// 32 x 32 pixels, 0xAARRGGBB, top row first.
std::array<uint32_t, kGameIconSize * kGameIconSize> draw_game_icon();
