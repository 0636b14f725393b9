// The command line of morvane-bot:
//   morvane-bot [--count N] [--skill 1|2|3] [--name NAME] [--level FILE]
//               [--seed N] [ADDRESS]
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/settings.h"

// A game holds 8 players, and the host is always one of them.
inline constexpr int32_t kMaxComputerPlayers = 7;
inline constexpr std::size_t kLevelPathSize = 4096;

struct BotOptions {
  int32_t count = 1;
  int32_t skill = 2;
  char name[kPlayerNameSize] = {};        // empty: the built-in names
  char address[kHostAddressSize] = {};    // empty: the local network's first game
  char level_path[kLevelPathSize] = "default.mvl";
  uint32_t seed = 0;
  bool seed_given = false;
  bool level_given = false;
  bool help = false;
  bool version = false;
};

// Reads the arguments after the program name. False with a sentence for the
// user in error when they are not understood.
bool parse_bot_options(int argc, const char* const* argv, BotOptions& options, char* error,
                       std::size_t error_size);

// The name of player `index` (0 first) of the run, at most 39 characters:
// NAME, NAME 2, NAME 3... with --name (NAME shortened to leave room), else
// the built-in names in turn from a place the seed chooses.
void computer_player_name(const BotOptions& options, uint32_t seed, int32_t index,
                          char (&name)[kPlayerNameSize]);

// The text of --help.
extern const char* const kBotUsage;
