// The session's state: the session objects, the ports and the list of
// games found (net/session.h creates and joins them).
#pragma once

#include <array>
#include <cstdint>

#include "platform/port_mapping.h"
#include "platform/session.h"

inline constexpr std::size_t kMaxSessions = 8;
// The name a player joins under when config.dat gives none.
inline constexpr const char* kDefaultPlayerName = "Player";

struct SessionEntry {
  int32_t current_players = 0;
  int32_t computer_players = 0;  // of current_players: they give way to a newcomer
  int32_t max_players = 0;
  std::array<uint8_t, 16> instance{};
  char session_name[80] = {};
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
  std::array<SessionEntry, kMaxSessions> session_list{};
  int32_t session_count = 0;
  int32_t selected_session = 0;
  int32_t players_found = 0;
};
