// A snapshot of what this program believes about the shared game, written
// to standard output when the process receives SIGUSR1: the player table
// with health, the projectiles alive, the frame counters, and every
// player's kills and deaths. It lets a maintainer (or a network test)
// compare the programs of one game from outside; it changes nothing in the
// game.
#pragma once

struct GameCore;

void install_state_report();
// Writes the snapshot if one was asked for since the last call.
void report_state_if_asked(const GameCore& game);
