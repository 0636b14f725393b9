// Text on the 640 x 480 virtual screen in the bitmap font.
#pragma once

#include <cstdint>

struct Game;

// Draws text with its bottom-left corner at (x, y); font_set 1 is the title
// face. The caller sets the colour first.
void draw_text(const Game& game, int32_t x, int32_t y, const char* text, int32_t font_set);
