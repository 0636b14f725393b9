// The compiled models: backdrop square, tank (hull, tracks, turret with gun),
// the 256 font glyphs, the cube and the particle billboard.
#pragma once

#include <cstdint>

#include "graphics/gl_setup.h"

struct Game;

inline constexpr int32_t kFontGlyphCount = 256;
inline constexpr float kGlyphAdvance = 10.0f;  // virtual-screen units per character

// Compiles every list into game.graphics.lists; the tank lists record the
// texture names of slots 7 and 8, so the textures must be uploaded first.
// Returns 1.
int build_model_lists(Game& game);
// Deletes the lists that exist and forgets their names.
void delete_model_lists(DisplayLists& lists);

// Batched drawing, inside the caller's glBegin: the cube of half-size 1
// scaled to `half` about (x, y, z) as quads with normals, leaving out the
// faces turned away from the eye (culling would drop them); the particle
// square as one quad (corners around its edge), already turned and scaled
// (billboard_corners) and moved to (x, y, z).
void emit_cube_quads(float x, float y, float z, float half, const float (&eye)[3]);
void emit_billboard_quad(const float (&corners)[4][3], float x, float y, float z);
// Glyph cell `glyph` of the font as a 16 x 16 quad from (pen_x, 0).
void emit_glyph_quad(int32_t glyph, float pen_x);
// The billboard's four corners under a 3 x 3 matrix (rows of it).
void billboard_corners(const float (&matrix)[3][3], float (&corners)[4][3]);

inline uint32_t hull_list(const DisplayLists& lists) { return lists.tank_lists; }
inline uint32_t tracks_list(const DisplayLists& lists) { return lists.tank_lists + 1; }
inline uint32_t turret_list(const DisplayLists& lists) { return lists.tank_lists + 2; }
