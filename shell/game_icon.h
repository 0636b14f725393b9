// The game program's own icon: a small tank, drawn at start-up and, at the
// sizes desktops ask for, when the game is installed.
#pragma once

#include <array>
#include <cstdint>

inline constexpr int32_t kGameIconSize = 32;

// 32 x 32 pixels, 0xAARRGGBB, top row first.
std::array<uint32_t, kGameIconSize * kGameIconSize> draw_game_icon();

// The same picture at size x size pixels into pixels (size * size values,
// 0xAARRGGBB, top row first); edges that fall inside a pixel are blended.
void draw_game_icon(int32_t size, uint32_t* pixels);
