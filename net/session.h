// The network session: the transport chosen from the configuration, the list
// of games found, and creating or joining one as a player.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/session_state.h"

struct GameCore;

int create_directplay(GameCore& game);   // 1, or 4
int release_directplay(GameCore& game);  // 1
int reset_directplay(GameCore& game);    // 1
int connect_tcpip(GameCore& game, const char* address);
int connect_ipx(GameCore& game);
int enumerate_sessions(GameCore& game);
// Creates (host) or joins (client) the game and enters it: 1, with
// in_session set. 0 when it could not; the session is then closed again and
// join_failure_text tells a client why.
int open_session(GameCore& game);
// Why the last join failed, in a sentence for the player.
const char* join_failure_text(const GameCore& game);

// The transport the configuration names, chosen as the session menu does:
// a host on the local network or listening for the internet, a client
// looking for games at host_address or on the local network. Nothing when
// neither transport is set.
void connect_configured(GameCore& game);
// Opens the session (a client: the selected listed game) and enters it: the
// entry prompt shows from the next frame. A host whose session cannot be
// opened still plays, alone. 1, or 0 when a client could not join
// (join_failure_text says why); it is then not in a game.
int enter_game(GameCore& game);

// The session's callbacks: one per game found (null at the time-out), and
// one per player of the session just joined; game is the GameCore* they
// serve. True to go on.
bool on_session_found(void* game, const platform::SessionDescription* session);
bool on_player_found(void* game, uint32_t player_id, const char* name);

// The router's answer about the host's game port, when it has changed since
// the last call: true with the sentence in text.
bool take_port_mapping_news(GameCore& game, char* text, std::size_t size);
// The same, told to the player: a notice in the message log and a line on
// standard error.
void report_port_mapping(GameCore& game);
// The public lists of internet games, listed with the local network's
// games while a client joins over TCP/IP with no address given (see
// connect_configured). refresh_internet_games is called every frame of the
// session menu and never waits: it reads the lists every kListRefreshMs,
// asks each listed game for its round trip and lists them all again when
// anything changed (then it returns true). The list of lists is lists.txt and the last list read
// is kept in lists.cache, both in the current directory.
bool refresh_internet_games(SessionState& session, uint32_t now_ms);
// The local network's games (lan_count of them, first), then the listed
// internet games, best round trip first.
void list_internet_games(SessionState& session);
// Best round trip first, games without one last, in their order otherwise.
void order_sessions(SessionState& session);
void stop_internet_listing(SessionState& session);

// The end of a frame: what the frame sent (status, shots, chat) leaves now,
// not at the next frame's network service.
void flush_session(GameCore& game);

// While the window is inactive the game handles no messages, but the
// session must still be served or the others drop this player.
void keep_session_alive(GameCore& game);
