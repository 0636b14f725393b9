// Text on the 640 x 480 virtual screen in the bitmap font.
#pragma once

#include <cstddef>
#include <cstdint>

struct Game;

// Texts are UTF-8 (names and chat come from other programs, the
// configurator writes what the player typed). Each character takes one
// glyph cell: printable ASCII as itself; the lowercase Latin-1 letters
// U+00DF..U+00FF (but the division sign) from the font's own cells; the
// uppercase Latin-1 letters U+00C0..U+00DE as their unaccented capital
// ("Ü" as "U"); control characters as a space; every other character, and
// every byte that is not part of a well-formed UTF-8 character, as '?'.
// Never as blanks where letters were.

// The glyph code (32..159) of the character at text[at], and how many
// bytes it took (at least 1; never past the terminating NUL).
uint8_t glyph_code(const char* text, std::size_t& length);

// How many glyph cells draw_text lays down for text (at most 255): callers
// centre and right-align by this, not by the byte count.
int32_t text_columns(const char* text);

// Draws text with its bottom-left corner at (x, y); font_set 1 is the title
// face. The caller sets the colour first.
void draw_text(const Game& game, int32_t x, int32_t y, const char* text, int32_t font_set);
