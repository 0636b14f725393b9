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
// The same, the line beginning with line_start (a log's date and time,
// "2026-12-09 14:02:03 "), written only when a snapshot is due.
void report_state_if_asked(const GameCore& game, void (*line_start)());
