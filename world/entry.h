// Where a tank enters play: the origin, or another of the level's entry
// places when other tanks are in play.
#pragma once

#include "core/level_table.h"

struct WorldState;

// The place the local tank enters at. Alone in the game it is the origin.
// Otherwise it is the place (the origin or one the level names) farthest
// from the nearest other tank in play. Players who may be entering at the
// same moment (those out of play) see the same table, so each takes those
// with higher ids to enter first, one after another, each at the place it
// would choose, and avoids those places too: they do not enter inside each
// other. With nobody in play the highest of them takes the origin.
EntryPlace choose_entry_place(const WorldState& world);

// Puts the local tank at its entry place, standing still, facing the
// origin (the middle of the game; at the origin itself, heading 0) with the
// gun level. Health, lives and the gun's wait are the caller's.
void place_at_entry(WorldState& world);
