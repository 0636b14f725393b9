// Where a tank enters play: the origin, or another of the level's entry
// places when other tanks are in play.
#pragma once

#include "core/level_table.h"

struct WorldState;

// The place the local tank enters at. Alone in the game it is the origin.
// With other tanks in play it is the place (the origin or one the level
// names) farthest from the nearest of them. With others in the game but
// none in play, every place is as good, and the player's id picks one, so
// that players entering at the same moment spread out.
EntryPlace choose_entry_place(const WorldState& world);

// Puts the local tank at its entry place, standing still with both
// headings and the gun at 0. Health, lives and the gun's wait are the
// caller's.
void place_at_entry(WorldState& world);
