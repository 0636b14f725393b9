// The session's state: the session objects, the ports and the list of
// games found (net/session.h creates and joins them).
#pragma once

#include <array>
#include <cstdint>

#include "platform/port_mapping.h"
#include "platform/game_probe.h"
#include "platform/list_reader.h"
#include "platform/session.h"

// Games found on the local network, and all the games listed: those and
// the games of the public lists of internet games.
inline constexpr std::size_t kMaxSessions = 8;
inline constexpr std::size_t kMaxListedSessions = kMaxSessions + platform::kMaxListedGames;
// How often the session menu reads the public lists again.
inline constexpr uint32_t kListRefreshMs = 10000;
// The list of lists and the copy of the last list read, in the game directory.
inline constexpr const char* kListsFile = "lists.txt";
inline constexpr const char* kListsCacheFile = "lists.cache";
// The name a player joins under when config.dat gives none.
inline constexpr const char* kDefaultPlayerName = "Player";

struct SessionEntry {
  int32_t current_players = 0;
  int32_t computer_players = 0;  // of current_players: they give way to a newcomer
  int32_t max_players = 0;
  std::array<uint8_t, 16> instance{};
  char session_name[80] = {};
  // The round trip of this program's query to the game; -1 while unknown.
  int32_t round_trip_ms = -1;
  // A game of a public list, joined at its address and game port; it has
  // an instance once it has answered a query.
  bool internet = false;
  bool answered = true;
  uint32_t host = 0;  // IPv4, network byte order
  uint16_t port = 0;
};

struct SessionState {
  platform::PeerSession* peer = nullptr;  // the session objects, once created
  // The ports and how long a listing waits: the game's own by default;
  // tests choose others so that several runs can share a machine.
  platform::SessionPorts ports{};
  uint32_t enumeration_ms = platform::kDefaultEnumerationMs;
  // The name a host's game is listed under; empty: "<player name>'s game".
  char hosted_name[80] = {};
  // A host of an internet game asks the home router to open its game port
  // (the windowed game always, the server when told); the mapping lives
  // while the session does.
  bool open_router_port = false;
  platform::PortMapping* port_mapping = nullptr;
  std::array<SessionEntry, kMaxListedSessions> session_list{};
  int32_t session_count = 0;
  int32_t lan_count = 0;  // the games found on the local network, listed first
  // Reading the public lists: while the address to join is left empty.
  bool internet_listing = false;
  platform::ListReader* lists = nullptr;
  platform::GameProbe* probe = nullptr;
  uint32_t next_list_reading_ms = 0;
  int32_t selected_session = 0;
  int32_t players_found = 0;
};
