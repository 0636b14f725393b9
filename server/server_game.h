// The server's game: the host's game object in the host's role, whose own
// player ("Server", id 1, the host's seat) never enters play, with the
// server's computer players beside it.
#pragma once

#include "platform/session.h"
#include "server/computer_seats.h"

struct GameCore;
struct LevelTable;

inline constexpr const char* kServerPlayerName = "Server";

// Opens the game, listed under `name`. False when its game port cannot be
// opened (a windowed host plays on alone then; a server has nobody to play
// for).
bool open_server_game(GameCore& host, const char* name, const platform::SessionPorts& ports,
                      const LevelTable& level);

// One frame: the host takes and handles every message waiting, relays,
// numbers shots and judges hits; then the computer players' frames.
void run_server_frame(GameCore& host, ComputerSeats& seats, double frame_start_ms);

// Ends the game so that every player learns at once that the host has gone:
// the host leaves first, while the computer players are still served so
// that they acknowledge at once; then they are freed.
void close_server_game(GameCore& host, ComputerSeats& seats);
