// The public lists of games the server announces its game to: read from a
// plain file of "host:port" lines (lists.txt), and the game described as
// the lists want it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/list_announcer.h"

struct GameCore;
struct ComputerSeats;
struct ServerOptions;

inline constexpr const char* kListsFileName = "lists.txt";

struct ListAddresses {
  std::array<std::array<char, platform::kListAddressSize>, platform::kMaxLists> entries{};
  std::size_t count = 0;
};

// Reads the lists in `file`: one "host:port" a line, the host a name or a
// dotted address, the port 1 to 65535; '#' begins a comment to the end of
// its line; blank lines and spaces around an entry do not matter. A line
// that is not an entry, and every entry past platform::kMaxLists, is left
// out and told to warn (with its line number) so the operator can mend it.
using ListsWarning = void (*)(void* context, int line_number, const char* why);
void read_lists(std::FILE* file, ListAddresses& lists, ListsWarning warn, void* context);

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
