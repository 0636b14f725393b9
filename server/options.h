// The command line of morvane-server:
//   morvane-server [--name NAME] [--level FILE] [--bots N] [--skill 1|2|3]
//                  [--port PORT] [--report-every SECONDS] [--seed N]
//                  [--quiet-kills] [--private | --lists FILE] [--open-port] [--help] [--version]
#pragma once

#include <cstddef>
#include <cstdint>

#include "bot/options.h"
#include "platform/session_packets.h"

// The server's own player holds one of the 8 seats and never plays.
inline constexpr int32_t kMaxServerBots = 7;
inline constexpr const char* kDefaultGameName = "Morvane server";
inline constexpr int32_t kDefaultReportSeconds = 60;

struct ServerOptions {
  char name[platform::kDiscoveryNameField] = {};  // the game's name in the listing: 78 bytes
  char level_path[kLevelPathSize] = "default.mvl";
  int32_t bots = 0;
  int32_t skill = 2;
  uint16_t port = platform::kGamePort;
  int32_t report_seconds = kDefaultReportSeconds;  // 0: no periodic line
  uint32_t seed = 0;
  bool seed_given = false;
  bool level_given = false;
  bool quiet_kills = false;  // no log line for each kill
  bool private_game = false;  // announced to no public list
  char lists_path[kLevelPathSize] = {};  // --lists: the public lists to announce to
  bool lists_given = false;
  bool open_port = false;    // ask the home router to open the game port
  bool help = false;
  bool version = false;
};

// Reads the arguments after the program name. False with a sentence for the
// operator in error when they are not understood.
bool parse_server_options(int argc, const char* const* argv, ServerOptions& options, char* error,
                          std::size_t error_size);

// The text of --help.
extern const char* const kServerUsage;
