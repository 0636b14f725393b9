// One computer player in a network game: a game object of its own, joined
// over the protocol like any client, and its decision-maker at the
// controls. Its frames run through the game's frame driver with stand-ins
// for the devices, the picture, the music and the menus.
#pragma once

#include <cstdint>

#include "bot/computer_player.h"
#include "core/game_core.h"

struct BotPlayer {
  GameCore game;
  ComputerPlayer brain;
  // While holding, the player touches no control: it stands where it is
  // and does not fire (a test settles a game this way before comparing).
  bool holding = false;
  int32_t shots_fired = 0;  // every shell its gun has sent
  // The session's own transport; the game receives through the player,
  // which tells the decision-maker of every status on the way.
  Transport network{};
};

struct BotSetup {
  const char* name = "";
  int32_t skill = 2;
  uint32_t seed = 1;
  // The host's address ("TCP/IP Connection over Internet"); null or empty
  // for the first game of the local network's listing ("IPX Connection
  // over LAN").
  const char* address = nullptr;
  const LevelTable* level = nullptr;
  platform::SessionPorts ports{};
  uint32_t enumeration_ms = platform::kDefaultEnumerationMs;
};

// Readies the player: its settings as config.dat would give them, the
// level, the decision-maker and the session objects. False when the
// network layer cannot be started.
bool prepare_bot(BotPlayer& bot, const BotSetup& setup);

// Finds the game and joins it; the player is then at the entry prompt.
// With an instance, the listed game of that instance (several hosts may
// answer on one machine), else the first listed. Null on success, else
// why it could not join, in a sentence for the user.
const char* join_game(BotPlayer& bot, const platform::SessionInstance* instance = nullptr);

// Runs one frame that began at frame_start_ms, as the game's main loop
// does: the decision-maker in place of the devices, nothing drawn, played
// or shown, and the entry prompt entered when it presses fire. False once
// the player has stopped: the host has gone (the game then carries on
// offline, which a computer player has no use for).
bool run_bot_frame(BotPlayer& bot, double frame_start_ms);

// The same for a game nobody plays: nothing read, drawn or shown, and the
// entry prompt never entered. A host kept only to relay and judge.
bool run_unattended_frame(GameCore& game, double frame_start_ms);

// Leaves the game (the others are told at once) and frees the session.
void leave_game(BotPlayer& bot);
