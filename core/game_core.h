// The part of one running game that needs no window, display or sound
// device: the settings, the world, the message log, the input state, the
// session and the protocol. The windowed game (core/game.h) builds on it;
// a program without a window runs one per player it plays, and so can a
// test run a host and clients side by side in one process.
#pragma once

#include <cstdint>

#include "core/input_state.h"
#include "core/message_log_state.h"
#include "core/protocol_state.h"
#include "core/score_state.h"
#include "core/session_state.h"
#include "core/settings.h"
#include "core/shot_tally.h"
#include "core/world_state.h"

struct GameCore;

// What the core tells the program around it. A null hook means there is
// nothing to do, so a program without a window leaves them all null.
struct CoreHooks {
  // A numbered shot has arrived and its projectile slot is filled.
  void (*shot_fired)(GameCore&) = nullptr;
  // The session layer reports the session lost.
  void (*session_lost)(GameCore&) = nullptr;
  // A message that came from `from` (the session's sender id) was refused
  // and `text` logged for it; a program with a log of its own says who.
  void (*message_refused)(GameCore&, uint32_t from, const char* text) = nullptr;
};

struct GameCore {
  GameSettings settings{};
  WorldState world{};
  MessageLog log{};
  InputState input{};
  SessionState session{};
  ProtocolState protocol{};
  ScoreState score{};
  CoreHooks hooks{};
  ShotTally shots{};
  uint32_t random_state = 1;  // the game's own pseudo-random generator
};

// The game's pseudo-random generator (the C library's rand() is process-wide,
// and two games in one test must not share it). Values 0..32767.
void seed_random(GameCore& game, uint32_t seed);
int32_t next_random(GameCore& game);
