#include "list/game_list.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include <sodium.h>

namespace list {

namespace {

// SipHash of the key bytes under the list's own random key: hosts choose
// their ports and some their addresses, and must not be able to choose
// collisions in the tables.
uint64_t keyed_hash(const GameList& list, const uint8_t* bytes, std::size_t size) {
  uint64_t hash = 0;
  crypto_shorthash(reinterpret_cast<unsigned char*>(&hash), bytes, size, list.hash_key.data());
  return hash;
}

uint64_t game_hash(const GameList& list, uint32_t address, uint16_t port) {
  const uint8_t key[6] = {uint8_t(address >> 24), uint8_t(address >> 16), uint8_t(address >> 8),
                          uint8_t(address), uint8_t(port >> 8), uint8_t(port)};
  return keyed_hash(list, key, sizeof key);
}

uint64_t address_hash(const GameList& list, uint32_t address) {
  const uint8_t key[4] = {uint8_t(address >> 24), uint8_t(address >> 16), uint8_t(address >> 8),
                          uint8_t(address)};
  return keyed_hash(list, key, sizeof key);
}

// The index position holding the game's slot, or the empty one where it
// would go. Linear probing; the index is never more than 61% full.
std::size_t game_position(const GameList& list, uint32_t address, uint16_t port) {
  std::size_t at = game_hash(list, address, port) & (kGameIndexSize - 1);
  for (;;) {
    const int32_t slot = list.index[at];
    if (slot < 0) return at;
    const GameEntry& game = list.games[slot];
    if (game.address == address && game.details.port == port) return at;
    at = (at + 1) & (kGameIndexSize - 1);
  }
}

GameEntry* find_game(GameList& list, uint32_t address, uint16_t port) {
  const int32_t slot = list.index[game_position(list, address, port)];
  return slot < 0 ? nullptr : &list.games[slot];
}

// Removes an index position by moving later entries of its run back, so
// that lookups need no markers of removed entries.
template <typename Table, typename IsEmpty, typename HomeOf, typename Clear>
void remove_at(Table& table, std::size_t hole, IsEmpty is_empty, HomeOf home_of, Clear clear) {
  const std::size_t mask = table.size() - 1;
  std::size_t at = hole;
  for (;;) {
    at = (at + 1) & mask;
    if (is_empty(table[at])) break;
    const std::size_t home = home_of(table[at]);
    // The entry may fill the hole unless its home lies cyclically in (hole, at].
    const bool stays = hole <= at ? (hole < home && home <= at) : (hole < home || home <= at);
    if (stays) continue;
    table[hole] = table[at];
    hole = at;
  }
  clear(table[hole]);
}

void remove_from_index(GameList& list, uint32_t address, uint16_t port) {
  remove_at(
      list.index, game_position(list, address, port), [](int32_t slot) { return slot < 0; },
      [&](int32_t slot) {
        const GameEntry& game = list.games[slot];
        return game_hash(list, game.address, game.details.port) & (kGameIndexSize - 1);
      },
      [](int32_t& slot) { slot = -1; });
}

std::size_t address_position(const GameList& list, uint32_t address) {
  std::size_t at = address_hash(list, address) & (kAddressTableSize - 1);
  while (list.addresses[at].address != 0 && list.addresses[at].address != address)
    at = (at + 1) & (kAddressTableSize - 1);
  return at;
}

// The address's entry, made when new; null when the table is full.
AddressEntry* address_entry(GameList& list, uint32_t address, double now_ms) {
  AddressEntry& entry = list.addresses[address_position(list, address)];
  if (entry.address == address) return &entry;
  if (list.address_count >= kMaxAddresses) return nullptr;
  entry = AddressEntry{};
  entry.address = address;
  entry.allowance = static_cast<float>(kAnnouncementBurst);
  entry.allowance_ms = now_ms;
  ++list.address_count;
  return &entry;
}

// Takes one announcement from the address's allowance; false when none is
// left.
bool take_allowance(AddressEntry& entry, double now_ms) {
  const double refilled = entry.allowance + (now_ms - entry.allowance_ms) * kAnnouncementsPerMs;
  entry.allowance = static_cast<float>(std::min(refilled, kAnnouncementBurst));
  entry.allowance_ms = now_ms;
  if (entry.allowance < 1) return false;
  entry.allowance -= 1;
  return true;
}

void write_log(GameList& list, const char* line) {
  if (list.log) list.log(list.log_context, line);
}

void log_refusal(GameList& list, AddressEntry* entry, uint32_t address, int status, const char* reason,
                 double now_ms) {
  char from[16];
  format_address(address, from, sizeof from);
  char line[320];
  if (!entry) {
    std::snprintf(line, sizeof line, "refused %s: %d %s", from, status, reason);
    write_log(list, line);
    return;
  }
  ++entry->unlogged;
  if (entry->logged && now_ms - entry->last_log_ms < kRefusalLogEveryMs) return;
  if (entry->unlogged > 1)
    std::snprintf(line, sizeof line, "refused %s: %d %s (%u refusals since the last line)", from, status,
                  reason, entry->unlogged);
  else
    std::snprintf(line, sizeof line, "refused %s: %d %s", from, status, reason);
  write_log(list, line);
  entry->logged = true;
  entry->last_log_ms = now_ms;
  entry->unlogged = 0;
}

AnnounceResult refusal(GameList& list, AddressEntry* entry, uint32_t address, int status, const char* reason,
                       double now_ms) {
  log_refusal(list, entry, address, status, reason, now_ms);
  AnnounceResult result;
  result.status = status;
  result.reason = reason;
  return result;
}

bool same_details(const Announcement& a, const Announcement& b) {
  return a.port == b.port && a.people == b.people && a.computers == b.computers && a.seats == b.seats &&
         std::string_view(a.name) == b.name && std::string_view(a.level) == b.level &&
         std::string_view(a.version) == b.version;
}

int32_t free_slot(const GameList& list) {
  for (int32_t slot = 0; slot < kMaxGames; ++slot)
    if (!list.games[slot].in_use) return slot;
  return -1;
}

GameEntry& add_game(GameList& list, uint32_t address, const Announcement& details, double now_ms) {
  const int32_t slot = free_slot(list);
  GameEntry& game = list.games[slot];
  game = GameEntry{};
  game.in_use = true;
  game.address = address;
  game.details = details;
  game.first_announced_ms = now_ms;
  game.last_announced_ms = now_ms;
  list.make_token(game.token);
  list.index[game_position(list, address, details.port)] = slot;
  ++list.game_count;
  return game;
}

void remove_game(GameList& list, GameEntry& game) {
  remove_from_index(list, game.address, game.details.port);
  AddressEntry& entry = list.addresses[address_position(list, game.address)];
  if (entry.address == game.address && entry.games > 0) --entry.games;
  if (game.listed) {
    --list.listed_count;
    list.changed = true;
  }
  --list.game_count;
  game = GameEntry{};
}

AnnounceResult with_proof(const GameEntry& game) {
  AnnounceResult result;
  result.outcome = Outcome::Pending;
  result.status = 202;
  result.send_proof = true;
  result.address = game.address;
  result.port = game.details.port;
  result.token = game.token;
  return result;
}

void system_token(Token& token) { randombytes_buf(token.data(), token.size()); }

void log_to_stdout(void*, const char* line) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  std::printf("%s %s\n", stamp, line);
  std::fflush(stdout);
}

// An address is forgotten once nothing of it is left to remember: no game,
// a full allowance and no refusal awaiting its log line.
bool idle(const AddressEntry& entry, double now_ms) {
  const double allowance = entry.allowance + (now_ms - entry.allowance_ms) * kAnnouncementsPerMs;
  return entry.games == 0 && allowance >= kAnnouncementBurst && entry.unlogged == 0 &&
         now_ms - entry.last_log_ms >= kRefusalLogEveryMs;
}

void forget_idle_addresses(GameList& list, double now_ms) {
  auto home_of = [&](const AddressEntry& entry) {
    return address_hash(list, entry.address) & (kAddressTableSize - 1);
  };
  for (std::size_t at = 0; at < kAddressTableSize; ++at) {
    // A removal may move a later entry into this position: look again.
    while (list.addresses[at].address != 0 && idle(list.addresses[at], now_ms)) {
      remove_at(
          list.addresses, at, [](const AddressEntry& entry) { return entry.address == 0; }, home_of,
          [](AddressEntry& entry) { entry = AddressEntry{}; });
      --list.address_count;
    }
  }
}

}  // namespace

std::unique_ptr<GameList> make_game_list() {
  if (sodium_init() < 0) return nullptr;
  auto list = std::make_unique<GameList>();
  list->index.fill(-1);
  randombytes_buf(list->hash_key.data(), list->hash_key.size());
  list->instance = randombytes_random();
  list->make_token = system_token;
  list->log = log_to_stdout;
  return list;
}

void format_address(uint32_t address, char* text, std::size_t size) {
  std::snprintf(text, size, "%u.%u.%u.%u", address >> 24, (address >> 16) & 255, (address >> 8) & 255,
                address & 255);
}

AnnounceResult refuse(GameList& list, uint32_t address, int status, const char* reason, double now_ms) {
  AddressEntry* entry = address == 0 ? nullptr : address_entry(list, address, now_ms);
  if (entry) take_allowance(*entry, now_ms);
  return refusal(list, entry, address, status, reason, now_ms);
}

AnnounceResult announce(GameList& list, uint32_t address, std::string_view body, double now_ms) {
  // 0.0.0.0 marks the free entries of the address table, and is no host's.
  if (address == 0) return refusal(list, nullptr, address, 403, "no game can be listed at 0.0.0.0", now_ms);
  AddressEntry* entry = address_entry(list, address, now_ms);
  if (!entry) return refusal(list, nullptr, address, 503, "the list is busy; announce again later", now_ms);
  if (!take_allowance(*entry, now_ms))
    return refusal(list, entry, address, 429, "too many announcements from this address; announce every 20 seconds",
                   now_ms);
  if (body.size() > kMaxAnnouncementBytes)
    return refusal(list, entry, address, 413, "the announcement is longer than 1024 bytes", now_ms);
  Announcement details;
  const char* reason = "";
  if (!parse_announcement(body, details, reason)) return refusal(list, entry, address, 400, reason, now_ms);
  GameEntry* game = find_game(list, address, details.port);
  if (!game) {
    if (entry->games >= kMaxGamesPerAddress)
      return refusal(list, entry, address, 403, "this address already has 16 games on the list", now_ms);
    if (list.game_count >= kMaxGames)
      return refusal(list, entry, address, 503, "the list is full (20000 games)", now_ms);
    game = &add_game(list, address, details, now_ms);
    ++entry->games;
    return with_proof(*game);
  }
  game->last_announced_ms = now_ms;
  if (!same_details(game->details, details)) {
    game->details = details;
    if (game->listed) list.changed = true;
  }
  if (!game->listed) return with_proof(*game);
  AnnounceResult result;
  result.outcome = Outcome::Listed;
  result.status = 200;
  result.address = address;
  result.port = details.port;
  return result;
}

AnnounceResult withdraw(GameList& list, uint32_t address, std::string_view body, double now_ms) {
  if (address == 0) return refusal(list, nullptr, address, 404, "this address has no game on the list", now_ms);
  AddressEntry* entry = address_entry(list, address, now_ms);
  if (!entry) return refusal(list, nullptr, address, 503, "the list is busy; withdraw again later", now_ms);
  if (!take_allowance(*entry, now_ms))
    return refusal(list, entry, address, 429, "too many announcements and withdrawals from this address", now_ms);
  uint16_t port = 0;
  const char* reason = "";
  if (!parse_withdrawal(body, port, reason))
    return refusal(list, entry, address, body.size() > kMaxAnnouncementBytes ? 413 : 400, reason, now_ms);
  GameEntry* game = find_game(list, address, port);
  if (!game) return refusal(list, entry, address, 404, "this address has no game on the list at that port", now_ms);
  char from[16];
  format_address(address, from, sizeof from);
  char line[160];
  std::snprintf(line, sizeof line, "withdrawn: %s:%u \"%s\"", from, port, game->details.name);
  write_log(list, line);
  remove_game(list, *game);
  AnnounceResult result;
  result.outcome = Outcome::Withdrawn;
  result.status = 200;
  result.address = address;
  result.port = port;
  return result;
}

bool take_echo(GameList& list, uint32_t address, uint16_t port, std::span<const uint8_t> datagram,
               double now_ms) {
  Token token;
  if (!decode_echo(datagram, token)) return false;
  GameEntry* game = find_game(list, address, port);
  if (!game || game->listed || sodium_memcmp(game->token.data(), token.data(), token.size()) != 0) return false;
  game->listed = true;
  game->listed_since_ms = now_ms;
  ++list.listed_count;
  list.changed = true;
  char from[16];
  format_address(address, from, sizeof from);
  char line[160];
  std::snprintf(line, sizeof line, "listed: %s:%u \"%s\"", from, port, game->details.name);
  write_log(list, line);
  return true;
}

void expire_games(GameList& list, double now_ms) {
  for (GameEntry& game : list.games) {
    if (!game.in_use || now_ms - game.last_announced_ms < kAnnouncementLastsMs) continue;
    if (game.listed) {
      char from[16];
      format_address(game.address, from, sizeof from);
      char line[160];
      std::snprintf(line, sizeof line, "expired: %s:%u \"%s\", not announced for 60 s", from, game.details.port,
                    game.details.name);
      write_log(list, line);
    }
    remove_game(list, game);
  }
  if (list.address_count > kMaxAddresses / 2) forget_idle_addresses(list, now_ms);
}

void fill_for_bench(GameList& list, int32_t count, double now_ms) {
  for (int32_t i = 0; i < count && list.game_count < kMaxGames; ++i) {
    const uint32_t address = (127u << 24) + 2 + static_cast<uint32_t>(i);
    AddressEntry* entry = address_entry(list, address, now_ms);
    if (!entry) return;
    Announcement details;
    details.port = 24640;
    // Names that differ as real ones do, so that the gzip form is no
    // smaller than a real list's would be.
    const uint32_t mixed = static_cast<uint32_t>(i + 1) * 2654435761u;
    std::snprintf(details.name, sizeof details.name, "Game %08x of %05d", mixed ^ (mixed >> 13), i);
    std::snprintf(details.level, sizeof details.level, "default.mvl");
    std::snprintf(details.version, sizeof details.version, "1.0.0");
    details.people = static_cast<uint8_t>(1 + i % 7);
    details.computers = static_cast<uint8_t>(i % 2);
    details.seats = 8;
    GameEntry& game = add_game(list, address, details, now_ms);
    ++entry->games;
    game.listed = true;
    game.listed_since_ms = now_ms;
    ++list.listed_count;
  }
  list.changed = true;
}

}  // namespace list
