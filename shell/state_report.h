// A snapshot of what this program believes about the shared game, written
// to standard output when the process receives SIGUSR1: the player table
// with health, the projectiles alive, the frame counters, every player's
// kills and deaths and whether each tank is in play; then what is the
// program's own: its tanks as it drives them, the shots each fired, and on
// the host the shots it numbered for each shooter. It lets a maintainer
// (or a network test) compare the programs of one game from outside, and
// each program's own tank with the host's copy of it; it changes nothing
// in the game.
//
//   STATE frame=F fps=N players=ID:NAME:HEALTH,... projectiles=NUMBER,...
//         scores=ID:KILLS:DEATHS,... in_play=ID:0|1,...
//         own=ID:HEALTH:IN_PLAY:FIRED:X:Y:Z,... numbered=ID:COUNT,... stale=N
//         refused=N
//
// (one line). Everything before own= is the shared game, the same on every
// program once the game has settled; own=, numbered=, stale= (the host's
// dropped stale shot requests) and refused= (shots the host refused from
// tanks it held dead or out of play) are the program's own.
#pragma once

#include <span>

struct GameCore;

void install_state_report();
// Writes the snapshot if one was asked for since the last call; the game's
// own tank is the program's only one. With line_start, the line begins with
// what it writes (a log's date and time, "2026-12-09 14:02:03 ").
void report_state_if_asked(const GameCore& game, void (*line_start)() = nullptr);
// The same for a program that plays several tanks, each in a game of its
// own: the shared game as `view` sees it, then every one of `own_games`.
void report_state_if_asked(const GameCore& view, std::span<const GameCore* const> own_games,
                           void (*line_start)() = nullptr);
