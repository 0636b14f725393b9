// Reading the public lists: hostile documents refused field by field, the
// cache file, and real lists on the loopback read, merged, one of them down,
// and the cache used when none answers.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "list/list_service.h"
#include "platform/list_reader.h"

using namespace platform;

namespace {

std::string game_json(const std::string& fields_override = "", const std::string& address = "203.0.113.5",
                      int port = 24640) {
  std::string json = "{\"address\":\"" + address + "\",\"port\":" + std::to_string(port) +
                     ",\"name\":\"Ann's game\",\"level\":\"default.mvl\",\"people\":1,\"computers\":2,"
                     "\"seats\":8,\"version\":\"1.0.0\",\"listed_seconds\":4";
  return json + fields_override + "}";
}

std::string document(const std::string& games) { return "{\"count\":1,\"announce_every\":20,\"games\":[" + games + "]}"; }

uint32_t dotted(const char* text) {
  in_addr address{};
  inet_pton(AF_INET, text, &address);
  return address.s_addr;
}

}  // namespace

TEST(ListDocument, TakesGoodGamesAndRefusesEachBadFieldAlone) {
  ListedGames games;
  ASSERT_TRUE(parse_list_document(document(game_json()), games));
  ASSERT_EQ(games.count, 1u);
  EXPECT_EQ(games.games[0].host, dotted("203.0.113.5"));
  EXPECT_EQ(games.games[0].port, 24640);
  EXPECT_STREQ(games.games[0].name, "Ann's game");
  EXPECT_STREQ(games.games[0].level, "default.mvl");
  EXPECT_STREQ(games.games[0].version, "1.0.0");
  EXPECT_EQ(games.games[0].people, 1);
  EXPECT_EQ(games.games[0].computers, 2);
  EXPECT_EQ(games.games[0].seats, 8);

  // Each of these spoils one field of an otherwise good game (a later key
  // of the same name replaces the earlier one); none may be listed.
  const char* spoilt[] = {
      ",\"port\":\"24640\"",       ",\"port\":24640.0",         ",\"port\":1e4",
      ",\"port\":80",              ",\"port\":70000",           ",\"port\":-1",
      ",\"address\":\"::1\"",      ",\"address\":\"1.2.3\"",    ",\"address\":7",
      ",\"address\":\"0.0.0.0\"",  ",\"name\":\"\"",            ",\"name\":\"a\\u0001b\"",
      ",\"name\":\"a\\nb\"",       ",\"name\":[\"x\"]",         ",\"level\":\"two words\"",
      ",\"level\":\"\"",           ",\"version\":\"1234567890123456\"",
      ",\"seats\":0",              ",\"seats\":9",              ",\"people\":7",
      ",\"computers\":-2",         ",\"people\":null",          ",\"seats\":8.5",
  };
  for (const char* bad : spoilt) {
    ListedGames none;
    EXPECT_TRUE(parse_list_document(document(game_json(bad)), none)) << bad;
    EXPECT_EQ(none.count, 0u) << bad;
  }
  ListedGames none;
  EXPECT_TRUE(parse_list_document(document(game_json(",\"name\":\"" + std::string(79, 'n') + "\"")), none));
  EXPECT_EQ(none.count, 0u) << "a name longer than 78 bytes";
  EXPECT_TRUE(parse_list_document(document(game_json(",\"level\":\"" + std::string(64, 'l') + "\"")), none));
  EXPECT_EQ(none.count, 0u) << "a level longer than 63 characters";
  // A missing field.
  EXPECT_TRUE(parse_list_document(document("{\"address\":\"203.0.113.5\",\"port\":24640}"), none));
  EXPECT_EQ(none.count, 0u);

  // Not a list document at all: nothing changes.
  for (const char* broken : {"", "[]", "{\"games\":{}}", "{\"games\":[", "nul", "{\"games\":\"x\"}", "\xff\xfe"}) {
    EXPECT_FALSE(parse_list_document(broken, games)) << broken;
    EXPECT_EQ(games.count, 1u);
  }
  // Unknown fields and deep nesting in them are ignored.
  std::string deep(100000, '[');
  ListedGames extra;
  EXPECT_FALSE(parse_list_document(document(game_json(",\"more\":" + deep)), extra)) << "unterminated";
  EXPECT_TRUE(parse_list_document(document(game_json(",\"more\":{\"a\":[1,{\"b\":2}]}")), extra));
  EXPECT_EQ(extra.count, 1u);
}

TEST(ListDocument, HugeListsFillTheTableOnlyAndGamesMergeByAddressAndPort) {
  std::string many;
  for (int i = 0; i < 20000; ++i) {
    if (i) many += ',';
    many += game_json("", "10.0." + std::to_string(i / 250) + "." + std::to_string(1 + i % 250));
  }
  ListedGames games;
  ASSERT_TRUE(parse_list_document(document(many), games));
  EXPECT_EQ(games.count, kMaxListedGames);

  // Two lists naming the same game: one entry, the later details.
  ListedGames merged;
  ASSERT_TRUE(parse_list_document(document(game_json() + "," + game_json("", "203.0.113.5", 24650)), merged));
  ASSERT_TRUE(parse_list_document(document(game_json(",\"people\":3")), merged));
  ASSERT_EQ(merged.count, 2u);
  EXPECT_EQ(merged.games[0].people, 3);
  EXPECT_EQ(merged.games[1].port, 24650);
}

TEST(ListCache, KeepsWhatWasReadAndSkipsDamagedLines) {
  const std::string path = testing::TempDir() + "lists_cache_test." + std::to_string(getpid());
  ListedGames games;
  ASSERT_TRUE(parse_list_document(document(game_json() + "," + game_json("", "198.51.100.7", 25000)), games));
  ASSERT_TRUE(save_list_cache(path.c_str(), games));
  ListedGames read;
  ASSERT_TRUE(load_list_cache(path.c_str(), read));
  ASSERT_EQ(read.count, 2u);
  EXPECT_EQ(read.games[1].host, dotted("198.51.100.7"));
  EXPECT_EQ(read.games[1].port, 25000);
  EXPECT_STREQ(read.games[1].name, "Ann's game");
  EXPECT_EQ(read.games[1].computers, 2);

  std::FILE* file = std::fopen(path.c_str(), "a");
  std::fputs("1.2.3.4\t99999\t1\t0\t8\tl\tv\tname\n1.2.3.4\t2000\t9\t0\t8\tl\tv\tname\ngarbage\n\n", file);
  std::fclose(file);
  ListedGames again;
  ASSERT_TRUE(load_list_cache(path.c_str(), again));
  EXPECT_EQ(again.count, 2u);
  std::remove(path.c_str());
  ListedGames missing;
  EXPECT_FALSE(load_list_cache(path.c_str(), missing));
}

namespace {

// A real list service on the loopback, on a thread of its own, holding
// `games` games from 127.0.0.2 upwards.
struct RunningList {
  std::unique_ptr<list::ListService, void (*)(list::ListService*)> service{nullptr, nullptr};
  std::atomic<bool> stop{false};
  std::thread thread;
  uint16_t port = 0;

  explicit RunningList(int32_t games) {
    list::ServiceConfig config;
    config.listen_address = 0x7F000001;
    config.http_port = 0;
    config.proof_port = 0;
    auto game_list = list::make_game_list();
    game_list->log = [](void*, const char*) {};
    list::fill_for_bench(*game_list, games, list::steady_ms(nullptr));
    char error[128];
    service = list::open_service(config, std::move(game_list), error, sizeof error);
    EXPECT_TRUE(service) << error;
    if (!service) return;
    port = list::http_port_of(*service);
    thread = std::thread([this] {
      while (!stop) list::serve_once(*service, 10);
    });
  }
  ~RunningList() {
    stop = true;
    if (thread.joinable()) thread.join();
  }
};

// Polls as a frame would until the round ends (or 10 s pass).
bool wait_round(ListReader* reader) {
  for (int i = 0; i < 1000; ++i) {
    if (poll_list_reader(reader)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

bool read_round(ListReader* reader) {
  start_list_reading(reader);
  return wait_round(reader);
}

uint16_t closed_port() {
  // A port nobody listens on: a list just stopped.
  RunningList gone(0);
  return gone.port;
}

}  // namespace

TEST(ListReading, ListsOnTheLoopbackMergeOneDownChangesNothingAndTheCacheStands) {
  const std::string cache = testing::TempDir() + "lists_reading_test." + std::to_string(getpid());
  std::remove(cache.c_str());
  RunningList three(3);
  auto five = std::make_unique<RunningList>(5);  // the same first three games, and two more
  ASSERT_TRUE(three.service && five->service);
  ListAddresses lists;
  lists.count = 3;
  std::snprintf(lists.lists[0].host, sizeof lists.lists[0].host, "127.0.0.1");
  lists.lists[0].port = three.port;
  std::snprintf(lists.lists[1].host, sizeof lists.lists[1].host, "127.0.0.1");
  lists.lists[1].port = closed_port();
  std::snprintf(lists.lists[2].host, sizeof lists.lists[2].host, "localhost");
  lists.lists[2].port = five->port;

  ListReader* reader = create_list_reader(lists, cache.c_str());
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(listed_games(reader).count, 0u);
  // The lists are read and parsed behind the frame's back, but the table
  // the menu shows changes only when a poll says the round has ended.
  start_list_reading(reader);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(list_reading_busy(reader));
  EXPECT_EQ(listed_games(reader).count, 0u);
  ASSERT_TRUE(wait_round(reader));
  EXPECT_FALSE(list_reading_busy(reader));
  EXPECT_FALSE(poll_list_reader(reader)) << "a round ends once";
  ASSERT_EQ(listed_games(reader).count, 5u) << "three and five games, three of them the same";
  EXPECT_EQ(listed_games(reader).games[4].host, dotted("127.0.0.6"));
  EXPECT_EQ(listed_games(reader).games[4].port, 24640);
  // Read again: the lists answer 304 to the tag they gave, and say the same.
  ASSERT_TRUE(read_round(reader));
  EXPECT_EQ(listed_games(reader).count, 5u);
  // The list of five goes down: what it said last still stands.
  five.reset();
  ASSERT_TRUE(read_round(reader));
  EXPECT_EQ(listed_games(reader).count, 5u);
  release_list_reader(reader);

  // Every list down: a new reader has the cache, and a round that no list
  // answers keeps it.
  ListAddresses down;
  down.count = 1;
  std::snprintf(down.lists[0].host, sizeof down.lists[0].host, "127.0.0.1");
  down.lists[0].port = closed_port();
  reader = create_list_reader(down, cache.c_str());
  EXPECT_EQ(listed_games(reader).count, 5u);
  ASSERT_TRUE(read_round(reader));
  EXPECT_EQ(listed_games(reader).count, 5u);
  release_list_reader(reader);
  // Released with a reading under way: its thread ends, nothing is left.
  reader = create_list_reader(lists, nullptr);
  start_list_reading(reader);
  release_list_reader(reader);
  std::remove(cache.c_str());
}
