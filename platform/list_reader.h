// Reading the public lists of internet games: every list named in
// lists.txt is read over HTTP (GET /games, gzip accepted, If-None-Match with
// the last tag) on a thread of the reader's own, so that neither the
// transfers nor parsing a list of thousands of games hold up a frame, and
// what they say is merged into one fixed table (a game is one address and
// game port). A list that does not answer changes nothing; the last table
// read is kept, in memory and in a small cache file, for when none answers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/public_lists.h"

namespace platform {

inline constexpr std::size_t kMaxListedGames = 64;
// The largest document read from a list: a list cut to kMaxListedGames
// games needs far less, and a reader stops reading a longer one.
inline constexpr std::size_t kMaxListDocument = 4u << 20;

struct ListedGame {
  uint32_t host = 0;  // IPv4, network byte order
  uint16_t port = 0;  // the game port
  char name[79] = {};
  char level[64] = {};
  char version[16] = {};
  uint8_t people = 0;
  uint8_t computers = 0;
  uint8_t seats = 0;
};

struct ListedGames {
  std::array<ListedGame, kMaxListedGames> games{};
  std::size_t count = 0;
};

// Adds the games of one "GET /games" document to games, a game already
// there (same address and port) taking the new details. A game with any
// field missing, of another type or out of range is skipped; games beyond
// the table's size are dropped. False when the document is not a JSON
// object with a "games" array (games is then unchanged).
bool parse_list_document(std::string_view document, ListedGames& games);
// The same game (address and port) once: later details replace earlier.
void merge_listed_game(ListedGames& games, const ListedGame& game);

// The cache file: one game a line, tab-separated, as written by
// save_list_cache. Lines that do not parse are skipped.
bool save_list_cache(const char* path, const ListedGames& games);
bool load_list_cache(const char* path, ListedGames& games);

struct ListReader;  // opaque; owned by this layer

// Null when HTTP or the reader's thread cannot be started. lists_path names the list of lists
// (read once here; missing: no lists), cache_path the cache file (read here
// when present).
ListReader* create_list_reader(const char* lists_path, const char* cache_path);
// A reader of the lists given, for tests.
ListReader* create_list_reader(const ListAddresses& lists, const char* cache_path);
// Ends the thread (waiting for a document being parsed) and frees everything.
void release_list_reader(ListReader* reader);

// Starts reading every list again; a reading still under way goes on.
void start_list_reading(ListReader* reader);
// Never waits; true once, when a round has ended (every list answered,
// failed or timed out, and what they said is parsed and merged) and
// listed_games() holds its result. listed_games() changes only here.
bool poll_list_reader(ListReader* reader);
bool list_reading_busy(const ListReader* reader);
// The games of the last round in which any list answered (a list that
// answered 304 counts with what it said before), or of the cache file.
const ListedGames& listed_games(const ListReader* reader);

}  // namespace platform
