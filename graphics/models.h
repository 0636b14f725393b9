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

inline uint32_t hull_list(const DisplayLists& lists) { return lists.tank_lists; }
inline uint32_t tracks_list(const DisplayLists& lists) { return lists.tank_lists + 1; }
inline uint32_t turret_list(const DisplayLists& lists) { return lists.tank_lists + 2; }
