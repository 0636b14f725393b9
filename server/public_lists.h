// The public lists of games the server announces its game to: where the
// file naming them (lists.txt) is found, and the game described as the
// lists want it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/list_announcer.h"

struct GameCore;
struct ComputerSeats;
struct ServerOptions;

inline constexpr const char* kListsFileName = "lists.txt";

// Where the lists are read from: the file given with --lists alone; else
// lists.txt in the current directory, beside the program, or in the
// installed data directory, the first found. False when there is none
// (path then names every place looked in, for the log).
bool find_lists_file(const ServerOptions& options, char* path, std::size_t path_size);

// The game as the lists are told it. The server's own seat ("Server",
// which never plays) is counted neither among the people nor the seats.
// The port is the one the internet reaches: the router's outside port while
// it holds a mapping of the game port, else the game port.
platform::GameAnnouncement describe_server_game(const ServerOptions& options, const GameCore& host,
                                                const ComputerSeats& seats);
