#include "platform/list_reader.h"

#include <arpa/inet.h>
#include <curl/curl.h>

#include <nlohmann/json.hpp>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace platform {

namespace {

constexpr long kConnectTimeoutMs = 3000;
constexpr long kReadingTimeoutMs = 6000;
// A document nests no deeper than a game's fields (the top object, the
// games array, a game, a field); anything deeper is thrown away unread.
constexpr int kDeepestKept = 3;

bool is_control(unsigned char c) { return c < 0x20 || c == 0x7F; }

// Printable ASCII without spaces, 1..limit characters: a level or a version.
bool plain_word(std::string_view text, std::size_t limit) {
  if (text.empty() || text.size() > limit) return false;
  for (const char c : text)
    if (c <= 0x20 || c >= 0x7F) return false;
  return true;
}

// The game's name: 1..78 bytes, no control characters (the parser has
// already refused malformed UTF-8).
bool good_name(std::string_view text) {
  if (text.empty() || text.size() > sizeof ListedGame::name - 1) return false;
  for (const char c : text)
    if (is_control(static_cast<unsigned char>(c))) return false;
  return true;
}

void copy_text(char* dest, std::size_t size, std::string_view text) {
  const std::size_t n = text.size() < size ? text.size() : size - 1;
  std::memcpy(dest, text.data(), n);
  dest[n] = '\0';
}

// Assembles a game from its fields as read (from JSON or the cache file);
// false when any of them is out of its range.
bool make_game(std::string_view address, uint64_t port, std::string_view name, std::string_view level,
               uint64_t people, uint64_t computers, uint64_t seats, std::string_view version, ListedGame& game) {
  char dotted[16] = {};
  if (address.empty() || address.size() >= sizeof dotted) return false;
  std::memcpy(dotted, address.data(), address.size());
  in_addr host{};
  if (inet_pton(AF_INET, dotted, &host) != 1 || host.s_addr == 0) return false;
  if (port < 1024 || port > 65535) return false;
  if (seats < 1 || seats > 8 || people > seats || computers > seats || people + computers > seats) return false;
  if (!good_name(name) || !plain_word(level, sizeof game.level - 1) || !plain_word(version, sizeof game.version - 1))
    return false;
  game = ListedGame{};
  game.host = host.s_addr;
  game.port = static_cast<uint16_t>(port);
  copy_text(game.name, sizeof game.name, name);
  copy_text(game.level, sizeof game.level, level);
  copy_text(game.version, sizeof game.version, version);
  game.people = static_cast<uint8_t>(people);
  game.computers = static_cast<uint8_t>(computers);
  game.seats = static_cast<uint8_t>(seats);
  return true;
}

// A whole number without fraction or exponent, as JSON's unsigned type.
bool whole(const nlohmann::json& object, const char* key, uint64_t& out) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_number_unsigned()) return false;
  out = it->get<uint64_t>();
  return true;
}

bool text(const nlohmann::json& object, const char* key, std::string_view& out) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_string()) return false;
  out = it->get_ref<const std::string&>();
  return true;
}

bool game_of(const nlohmann::json& entry, ListedGame& game) {
  if (!entry.is_object()) return false;
  std::string_view address, name, level, version;
  uint64_t port = 0, people = 0, computers = 0, seats = 0;
  return text(entry, "address", address) && whole(entry, "port", port) && text(entry, "name", name) &&
         text(entry, "level", level) && whole(entry, "people", people) && whole(entry, "computers", computers) &&
         whole(entry, "seats", seats) && text(entry, "version", version) &&
         make_game(address, port, name, level, people, computers, seats, version, game);
}

}  // namespace

void merge_listed_game(ListedGames& games, const ListedGame& game) {
  for (std::size_t i = 0; i < games.count; ++i) {
    if (games.games[i].host == game.host && games.games[i].port == game.port) {
      games.games[i] = game;
      return;
    }
  }
  if (games.count < games.games.size()) games.games[games.count++] = game;
}

bool parse_list_document(std::string_view document, ListedGames& games) {
  if (document.size() > kMaxListDocument) return false;
  // Games beyond twice the table's size are thrown away as they are read,
  // so a list of any length costs no more memory than a short one (twice,
  // because some of those kept may be refused).
  std::size_t games_seen = 0;
  const nlohmann::json::parser_callback_t keep = [&games_seen](int depth, nlohmann::json::parse_event_t event,
                                                               nlohmann::json&) {
    if (depth > kDeepestKept) return false;
    if (event == nlohmann::json::parse_event_t::object_end && depth == 2)
      return ++games_seen <= 2 * kMaxListedGames;
    return true;
  };
  const nlohmann::json root = nlohmann::json::parse(document.begin(), document.end(), keep, false);
  if (!root.is_object()) return false;
  const auto list = root.find("games");
  if (list == root.end() || !list->is_array()) return false;
  for (const nlohmann::json& entry : *list) {
    ListedGame game;
    if (game_of(entry, game)) merge_listed_game(games, game);
  }
  return true;
}

bool save_list_cache(const char* path, const ListedGames& games) {
  const std::string temporary = std::string(path) + ".new";
  std::FILE* file = std::fopen(temporary.c_str(), "w");
  if (!file) return false;
  bool good = true;
  for (std::size_t i = 0; i < games.count; ++i) {
    const ListedGame& g = games.games[i];
    char dotted[INET_ADDRSTRLEN] = {};
    in_addr host{};
    host.s_addr = g.host;
    inet_ntop(AF_INET, &host, dotted, sizeof dotted);
    good = std::fprintf(file, "%s\t%u\t%u\t%u\t%u\t%s\t%s\t%s\n", dotted, g.port, g.people, g.computers, g.seats,
                        g.level, g.version, g.name) > 0 && good;
  }
  good = std::fclose(file) == 0 && good;
  if (good) good = std::rename(temporary.c_str(), path) == 0;
  if (!good) std::remove(temporary.c_str());
  return good;
}

bool load_list_cache(const char* path, ListedGames& games) {
  std::ifstream file(path);
  if (!file) return false;
  std::string line;
  std::size_t lines = 0;
  while (lines++ < 4 * kMaxListedGames && std::getline(file, line)) {
    if (line.size() > 512) continue;
    std::string_view rest = line;
    std::string_view fields[8];
    std::size_t n = 0;
    for (; n < 8 && !rest.empty(); ++n) {
      const std::size_t tab = n < 7 ? rest.find('\t') : std::string_view::npos;
      fields[n] = rest.substr(0, tab);
      rest = tab == std::string_view::npos ? std::string_view{} : rest.substr(tab + 1);
    }
    if (n != 8) continue;
    uint64_t numbers[4] = {};
    bool good = true;
    for (std::size_t i = 0; i < 4; ++i) {
      const std::string_view digits = fields[1 + i];
      if (digits.empty() || digits.size() > 5) good = false;
      for (const char c : digits) {
        if (c < '0' || c > '9') good = false;
        numbers[i] = numbers[i] * 10 + static_cast<uint64_t>(c - '0');
      }
    }
    ListedGame game;
    if (good && make_game(fields[0], numbers[0], fields[7], fields[5], numbers[1], numbers[2], numbers[3], fields[6],
                          game))
      merge_listed_game(games, game);
  }
  return true;
}

// ---- Reading the lists over HTTP ----

namespace {

struct ListConnection {
  ListAddress address;
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  std::string body;       // the document being read
  std::string etag;       // of the last document read whole
  std::string new_etag;   // of the answer being read
  bool running = false;
  bool overflowed = false;
  bool ever_answered = false;
  ListedGames games;      // what this list said last
};

std::size_t take_body(char* data, std::size_t size, std::size_t count, void* context) {
  ListConnection& list = *static_cast<ListConnection*>(context);
  const std::size_t bytes = size * count;
  if (list.body.size() + bytes > kMaxListDocument) {
    list.overflowed = true;
    return 0;  // ends the reading as failed
  }
  list.body.append(data, bytes);
  return bytes;
}

std::size_t take_header(char* data, std::size_t size, std::size_t count, void* context) {
  ListConnection& list = *static_cast<ListConnection*>(context);
  const std::size_t bytes = size * count;
  std::string_view line(data, bytes);
  constexpr std::string_view kName = "etag:";
  if (line.size() > kName.size() && line.size() < 256 && strncasecmp(line.data(), kName.data(), kName.size()) == 0) {
    line.remove_prefix(kName.size());
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ')) line.remove_suffix(1);
    bool printable = true;
    for (const char c : line)
      if (is_control(static_cast<unsigned char>(c))) printable = false;
    if (printable) list.new_etag.assign(line);
  }
  return bytes;
}

}  // namespace

// The reader: the frame's side asks for readings and takes the table of a
// round that has ended; the rest (the transfers, their gzip, parsing a
// document of thousands of games, the cache file) is done on a thread of
// the reader's own, since a full list takes several frames to parse.
struct ListReader {
  // The thread's own once it runs.
  CURLM* multi = nullptr;
  std::array<ListConnection, kMaxLists> lists{};
  std::size_t list_count = 0;
  int running = 0;  // readings under way
  bool answered_this_round = false;
  ListedGames table;  // the round's result, as the thread last merged it
  std::string cache_path;
  std::thread thread;

  // Shared, under the lock.
  mutable std::mutex lock;
  std::condition_variable wake;
  bool start_asked = false;
  bool round_under_way = false;  // started and not yet ended
  bool round_ended = false;      // ended and not yet taken by the frame
  bool stopping = false;
  ListedGames ended_table;

  // The frame's own: what listed_games() shows until the next round ends.
  ListedGames shown;
};

namespace {

void start_readings(ListReader& reader) {
  for (std::size_t i = 0; i < reader.list_count; ++i) {
    ListConnection& list = reader.lists[i];
    if (list.running) continue;
    if (!list.easy) list.easy = curl_easy_init();
    if (!list.easy) continue;
    CURL* easy = list.easy;
    curl_easy_reset(easy);
    char url[kListAddressSize + 16];
    std::snprintf(url, sizeof url, "http://%s:%u/games", list.address.host, list.address.port);
    curl_easy_setopt(easy, CURLOPT_URL, url);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_IPRESOLVE, CURL_IPRESOLVE_V4);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "gzip");
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, kReadingTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxListDocument));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, take_body);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &list);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, take_header);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &list);
    curl_easy_setopt(easy, CURLOPT_PRIVATE, &list);
    curl_slist_free_all(list.headers);
    list.headers = nullptr;
    if (!list.etag.empty()) {
      const std::string header = "If-None-Match: " + list.etag;
      list.headers = curl_slist_append(nullptr, header.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, list.headers);
    list.body.clear();
    list.new_etag.clear();
    list.overflowed = false;
    if (curl_multi_add_handle(reader.multi, easy) == CURLM_OK) {
      list.running = true;
      ++reader.running;
    }
  }
}

// One reading ended: what the list says now, or nothing when it failed.
void reading_ended(ListReader& reader, ListConnection& list, CURLcode result) {
  long status = 0;
  if (result == CURLE_OK) curl_easy_getinfo(list.easy, CURLINFO_RESPONSE_CODE, &status);
  if (status == 304 && list.ever_answered) {
    reader.answered_this_round = true;
  } else if (status == 200 && !list.overflowed) {
    ListedGames games;
    if (parse_list_document(list.body, games)) {
      list.games = games;
      list.etag = list.new_etag;
      list.ever_answered = true;
      reader.answered_this_round = true;
    }
  }
  list.body.clear();
}

// Takes the readings that have ended; true when none is under way any more.
bool drive_readings(ListReader& reader) {
  int still_running = 0;
  curl_multi_perform(reader.multi, &still_running);
  int waiting = 0;
  while (CURLMsg* message = curl_multi_info_read(reader.multi, &waiting)) {
    if (message->msg != CURLMSG_DONE) continue;
    ListConnection* list = nullptr;
    curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &list);
    const CURLcode result = message->data.result;
    curl_multi_remove_handle(reader.multi, message->easy_handle);
    if (!list) continue;
    reading_ended(reader, *list, result);
    list->running = false;
    --reader.running;
  }
  return reader.running == 0;
}

// The round is over: every list that has ever answered says what it said
// last; when none did this time, the table stays as it was.
void end_round(ListReader& reader) {
  if (reader.answered_this_round) {
    ListedGames merged;
    for (std::size_t i = 0; i < reader.list_count; ++i) {
      const ListConnection& list = reader.lists[i];
      if (!list.ever_answered) continue;
      for (std::size_t g = 0; g < list.games.count; ++g) merge_listed_game(merged, list.games.games[g]);
    }
    reader.table = merged;
    if (!reader.cache_path.empty()) save_list_cache(reader.cache_path.c_str(), reader.table);
  }
  reader.answered_this_round = false;
  std::lock_guard<std::mutex> held(reader.lock);
  reader.ended_table = reader.table;
  reader.round_under_way = reader.start_asked;  // asked again meanwhile: it goes on
  reader.round_ended = true;
}

constexpr int kLongestWaitMs = 100;

void run_reader(ListReader& reader) {
  for (;;) {
    bool start = false;
    {
      std::unique_lock<std::mutex> held(reader.lock);
      if (reader.running == 0)
        reader.wake.wait(held, [&reader] { return reader.stopping || reader.start_asked; });
      if (reader.stopping) return;
      start = reader.start_asked;
      reader.start_asked = false;
    }
    if (start) start_readings(reader);
    if (drive_readings(reader)) {
      end_round(reader);
      continue;
    }
    // Until the sockets have something, a request to stop or start wakes it.
    curl_multi_poll(reader.multi, nullptr, 0, kLongestWaitMs, nullptr);
  }
}

}  // namespace

ListReader* create_list_reader(const ListAddresses& lists, const char* cache_path) {
  static const bool started = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  if (!started) return nullptr;
  auto* reader = new ListReader;
  reader->multi = curl_multi_init();
  if (!reader->multi) {
    delete reader;
    return nullptr;
  }
  reader->list_count = lists.count < kMaxLists ? lists.count : kMaxLists;
  for (std::size_t i = 0; i < reader->list_count; ++i) {
    reader->lists[i].address = lists.lists[i];
    reader->lists[i].body.reserve(64 * 1024);
  }
  reader->cache_path = cache_path ? cache_path : "";
  if (!reader->cache_path.empty()) load_list_cache(reader->cache_path.c_str(), reader->table);
  reader->shown = reader->table;
  try {
    reader->thread = std::thread(run_reader, std::ref(*reader));
  } catch (const std::system_error&) {
    curl_multi_cleanup(reader->multi);
    delete reader;
    return nullptr;
  }
  return reader;
}

ListReader* create_list_reader(const char* lists_path, const char* cache_path) {
  ListAddresses lists;
  if (lists_path) read_list_addresses(lists_path, lists);
  return create_list_reader(lists, cache_path);
}

void release_list_reader(ListReader* reader) {
  if (!reader) return;
  {
    std::lock_guard<std::mutex> held(reader->lock);
    reader->stopping = true;
  }
  reader->wake.notify_one();
  curl_multi_wakeup(reader->multi);
  reader->thread.join();
  for (std::size_t i = 0; i < reader->list_count; ++i) {
    ListConnection& list = reader->lists[i];
    if (list.easy) {
      curl_multi_remove_handle(reader->multi, list.easy);
      curl_easy_cleanup(list.easy);
    }
    curl_slist_free_all(list.headers);
  }
  curl_multi_cleanup(reader->multi);
  delete reader;
}

void start_list_reading(ListReader* reader) {
  if (!reader || reader->list_count == 0) return;
  {
    std::lock_guard<std::mutex> held(reader->lock);
    reader->start_asked = true;
    reader->round_under_way = true;
  }
  reader->wake.notify_one();
  curl_multi_wakeup(reader->multi);
}

bool poll_list_reader(ListReader* reader) {
  if (!reader) return false;
  std::lock_guard<std::mutex> held(reader->lock);
  if (!reader->round_ended || reader->round_under_way) return false;
  reader->round_ended = false;
  reader->shown = reader->ended_table;
  return true;
}

bool list_reading_busy(const ListReader* reader) {
  if (!reader) return false;
  std::lock_guard<std::mutex> held(reader->lock);
  return reader->round_under_way || reader->round_ended;
}

const ListedGames& listed_games(const ListReader* reader) {
  static const ListedGames none;
  return reader ? reader->shown : none;
}

}  // namespace platform
