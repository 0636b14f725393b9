// The network session: the transport chosen from the configuration, the list
// of games found, and creating or joining one as a player.
#pragma once

#include <array>
#include <cstdint>

struct Game;

inline constexpr std::size_t kMaxSessions = 8;

struct SessionEntry {
  int32_t current_players = 0;
  int32_t max_players = 0;
  std::array<uint8_t, 16> instance{};
  char session_name[80] = {};
};

struct SessionState {
  int32_t created = 0;  // the session objects exist
  std::array<SessionEntry, kMaxSessions> session_list{};
  int32_t session_count = 0;
  int32_t selected_session = 0;
  int32_t players_found = 0;
};

int create_directplay(Game& game);   // 1, or 4
int release_directplay(Game& game);  // 1
int reset_directplay(Game& game);    // 1
int connect_tcpip(Game& game, const char* address);
int connect_ipx(Game& game);
int enumerate_sessions(Game& game);
int open_session(Game& game);
