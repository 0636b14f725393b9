// The public list of games: the games hosts announce, each listed only once
// its host has echoed a token sent to its game port, and dropped when its
// host withdraws it or stops announcing. Fixed tables sized once at start;
// time comes in from the caller (milliseconds on a steady clock), so tests
// set it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "list/announcement.h"

namespace list {

inline constexpr int kMaxGames = 20000;
inline constexpr int kMaxGamesPerAddress = 16;
// A game, listed or awaiting its proof, that is not announced again within
// this time leaves; hosts are told to announce three times as often.
inline constexpr double kAnnouncementLastsMs = 60000;
inline constexpr int kAnnounceEverySeconds = 20;
// Each address may announce 20 times in a burst and once a second after:
// its 16 games announcing every 20 s need 0.8 a second.
inline constexpr double kAnnouncementBurst = 20;
inline constexpr double kAnnouncementsPerMs = 0.001;
// Refusals are logged at most once a second per address.
inline constexpr double kRefusalLogEveryMs = 1000;
// Readers may keep the document this long (Cache-Control max-age); it is
// rebuilt at most once a second, when the list changed or its ages have
// fallen this far behind.
inline constexpr int kDocumentMaxAgeSeconds = 5;
inline constexpr double kRebuildAtMostEveryMs = 1000;

struct GameEntry {
  bool in_use = false;
  bool listed = false;  // false: awaiting the echo of its token
  uint32_t address = 0;  // IPv4, host byte order
  Announcement details;
  Token token{};
  double first_announced_ms = 0;
  double listed_since_ms = 0;
  double last_announced_ms = 0;
};

// What the list knows of one address: its announcements' rate, its games
// and its refusals' log lines.
struct AddressEntry {
  uint32_t address = 0;  // 0: free (0.0.0.0 never connects)
  uint16_t games = 0;
  float allowance = 0;  // announcements it may still make now
  double allowance_ms = 0;
  double last_log_ms = 0;
  uint32_t unlogged = 0;  // refusals since its last log line
  bool logged = false;
};

// The document readers get, built once per change.
struct ListDocument {
  std::string json;
  std::vector<uint8_t> gzip;
  char etag[40] = {};
  uint64_t generation = 0;  // changes with every rebuild
  double built_ms = -1e300;
  int32_t games = 0;
};

enum class Outcome { Listed, Pending, Withdrawn, Refused };

struct AnnounceResult {
  Outcome outcome = Outcome::Refused;
  int status = 500;  // the HTTP status
  const char* reason = "";
  // The proof to send now to the announcing address's game port.
  bool send_proof = false;
  uint32_t address = 0;
  uint16_t port = 0;
  Token token{};
};

using LogSink = void (*)(void* context, const char* line);
using TokenSource = void (*)(Token& token);

inline constexpr std::size_t kGameIndexSize = 32768;    // a power of two, above kMaxGames
inline constexpr std::size_t kAddressTableSize = 65536;  // a power of two
inline constexpr std::size_t kMaxAddresses = kAddressTableSize * 3 / 4;

struct GameList {
  std::array<GameEntry, kMaxGames> games{};
  std::array<int32_t, kGameIndexSize> index{};  // slots of games by address and port; -1 empty
  std::array<AddressEntry, kAddressTableSize> addresses{};
  std::array<uint8_t, 16> hash_key{};  // keys the tables' hash against chosen collisions
  int32_t game_count = 0;              // slots in use, listed or not
  int32_t listed_count = 0;
  std::size_t address_count = 0;
  bool changed = true;  // the document no longer shows the list
  ListDocument document;
  uint32_t instance = 0;  // begins every ETag, so a restart never repeats one
  TokenSource make_token = nullptr;
  LogSink log = nullptr;
  void* log_context = nullptr;
};

// A list with tokens and keys from the system's random source, logging to
// standard output.
std::unique_ptr<GameList> make_game_list();

// An announcement `body` from `address` (the TCP peer). A new game waits for
// its proof; a listed one stays listed for another 60 s with the details
// given. Refusals change nothing but the address's allowance, and are
// logged.
AnnounceResult announce(GameList& list, uint32_t address, std::string_view body, double now_ms);
// A withdrawal `body` from `address` (the TCP peer): the game it announced
// at the port named leaves at once, listed or awaiting its proof (200,
// Withdrawn); 404 when the address has no game there. Counted against the
// address's allowance as announcements are; refusals are logged alike.
AnnounceResult withdraw(GameList& list, uint32_t address, std::string_view body, double now_ms);
// A refusal decided before the body was read (a body too long), counted
// and logged as announce's are.
AnnounceResult refuse(GameList& list, uint32_t address, int status, const char* reason, double now_ms);
// A datagram on the proof port from address:port. Lists the game when it
// is the echo of that game's token; anything else is ignored. True when it
// listed a game.
bool take_echo(GameList& list, uint32_t address, uint16_t port, std::span<const uint8_t> datagram,
               double now_ms);
// Drops the games not announced within 60 s, and forgets idle addresses.
void expire_games(GameList& list, double now_ms);
// The document as of now_ms, rebuilt first when it is due.
const ListDocument& current_document(GameList& list, double now_ms);

// Lists `count` games at once from 127.0.0.2 upwards, one an address, as if
// each had announced and answered its proof: for benchmarks.
void fill_for_bench(GameList& list, int32_t count, double now_ms);

// "203.0.113.5" for an address in host byte order.
void format_address(uint32_t address, char* text, std::size_t size);

}  // namespace list
