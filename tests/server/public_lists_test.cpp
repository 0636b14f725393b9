// The server and the public lists: what it tells them, and the announcer
// against the list service itself on the loopback, the game's proof echoed
// by a real host's game port.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/game_core.h"
#include "list/list_service.h"
#include "platform/list_announcer.h"
#include "platform/port_mapping.h"
#include "platform/session.h"
#include "server/computer_seats.h"
#include "server/options.h"
#include "server/public_lists.h"

namespace {

using namespace std::chrono_literals;

constexpr uint32_t kLoopback = 0x7F000001;

// A router that grants every mapping onto one outside port, the way a
// router whose asked-for port is taken gives another.
struct GrantingRouter {
  uint16_t outside = 0;
  static platform::RouterAnswer map(void* context, uint16_t, uint16_t, uint32_t lifetime_s) {
    platform::RouterAnswer answer;
    answer.kind = platform::RouterAnswer::Kind::Mapped;
    answer.external_port = static_cast<GrantingRouter*>(context)->outside;
    answer.lifetime_s = lifetime_s;
    std::snprintf(answer.external_address, sizeof answer.external_address, "203.0.113.7");
    return answer;
  }
  static void unmap(void*, uint16_t, uint16_t) {}
};

bool wait_for_mapping(platform::PortMapping* mapping) {
  char address[64];
  uint16_t port = 0;
  for (auto end = std::chrono::steady_clock::now() + 5s; std::chrono::steady_clock::now() < end;
       std::this_thread::sleep_for(2ms))
    if (platform::port_mapping_outside(mapping, address, sizeof address, port)) return true;
  return false;
}

// What the server tells the lists: its own seat not counted, the level's
// file name without its directory, and the port the internet reaches.
TEST(PublicLists, TheServerAnnouncesItsGameAsTheInternetReachesIt) {
  ServerOptions options;
  options.port = 24650;
  std::snprintf(options.name, sizeof options.name, "Friday night");
  std::snprintf(options.level_path, sizeof options.level_path, "/srv/levels/two words.mvl");
  auto host = std::make_unique<GameCore>();
  host->world.tank.local_player_id = 1;
  for (uint32_t i = 0; i < 3; ++i) {
    host->world.player_table[i].active = 1;
    host->world.player_table[i].player_id = i + 1;
  }
  auto seats = std::make_unique<ComputerSeats>();
  platform::GameAnnouncement game = describe_server_game(options, *host, *seats);
  EXPECT_EQ(game.port, 24650);  // no mapping asked for
  EXPECT_STREQ(game.name, "Friday night");
  EXPECT_STREQ(game.level, "two_words.mvl");
  EXPECT_EQ(game.people, 2);
  EXPECT_EQ(game.computers, 0);
  EXPECT_EQ(game.seats, platform::kSessionMaxPlayers - 1);

  // The router maps the game port onto another outside port: the lists
  // must prove and list that one, or the game is unreachable there.
  GrantingRouter router{24700};
  const platform::RouterCalls calls{"NAT-PMP", &router, GrantingRouter::map, GrantingRouter::unmap};
  host->session.port_mapping = platform::start_port_mapping_with(options.port, &calls, 1);
  ASSERT_TRUE(wait_for_mapping(host->session.port_mapping));
  EXPECT_EQ(describe_server_game(options, *host, *seats).port, 24700);
  platform::stop_port_mapping(host->session.port_mapping);
  host->session.port_mapping = nullptr;
  EXPECT_EQ(describe_server_game(options, *host, *seats).port, 24650);  // the mapping gone
}

// The list service on its own thread, on the loopback, on a clock that
// stands still (nothing here waits a minute for a game to expire).
struct RunningList {
  std::unique_ptr<list::ListService, void (*)(list::ListService*)> service{nullptr, nullptr};
  std::atomic<bool> stop{false};
  std::thread thread;
  std::string address;
  RunningList() {
    list::ServiceConfig config;
    config.listen_address = kLoopback;
    config.http_port = 0;
    config.proof_port = 0;
    config.clock = [](void*) { return 1e6; };
    auto games = list::make_game_list();
    games->log = [](void*, const char*) {};
    char error[128];
    service = list::open_service(config, std::move(games), error, sizeof error);
    EXPECT_TRUE(service) << error;
    address = "127.0.0.1:" + std::to_string(list::http_port_of(*service));
    thread = std::thread([this] {
      while (!stop) list::serve_once(*service, 10);
    });
  }
  ~RunningList() {
    stop = true;
    thread.join();
  }
};

struct Announcer {
  std::vector<std::string> log;
  platform::ListAnnouncer* announcer = nullptr;
  explicit Announcer(const std::string& address) {
    const char* addresses[] = {address.c_str()};
    announcer = platform::create_list_announcer(
        addresses, 1, [](void* log, const char* line) { static_cast<std::vector<std::string>*>(log)->push_back(line); },
        &log);
  }
  ~Announcer() { platform::release_list_announcer(announcer); }
  // Announces at now_ms (when due) and drives until the answer is in,
  // serving the host meanwhile; false when none came within 5 seconds.
  bool announce(const platform::GameAnnouncement& game, double now_ms, platform::PeerSession* host = nullptr) {
    const double due = platform::next_announcement_ms(*announcer, 0);
    for (auto end = std::chrono::steady_clock::now() + 5s; std::chrono::steady_clock::now() < end;) {
      platform::drive_list_announcer(*announcer, game, now_ms);
      if (host) platform::keep_alive(host);
      if (platform::next_announcement_ms(*announcer, 0) != due) return true;
      std::this_thread::sleep_for(2ms);
    }
    return false;
  }
  int lines_with(const std::string& words) const {
    int count = 0;
    for (const std::string& line : log) count += line.find(words) != std::string::npos;
    return count;
  }
};

uint16_t test_port() { return static_cast<uint16_t>(42000 + (getpid() % 9000) * 2); }

platform::GameAnnouncement game_on(uint16_t port) {
  platform::GameAnnouncement game;
  game.port = port;
  std::snprintf(game.name, sizeof game.name, "%s", "Friday \"night\"");
  std::snprintf(game.level, sizeof game.level, "%s", "default.mvl");
  game.people = 1;
  game.computers = 3;
  game.seats = 7;
  std::snprintf(game.version, sizeof game.version, "%s", "1.0.0");
  return game;
}

// A hosted game on the game port, its server player in the first seat;
// null when it cannot be opened.
platform::PeerSession* open_hosted_game(uint16_t port) {
  platform::PeerSession* host = platform::create_peer_session({port, static_cast<uint16_t>(port + 1), 0});
  uint32_t id = 0;
  if (host && platform::initialize_internet(host, "") && platform::open_new_session(host, "Friday night", 8) &&
      platform::create_local_player(host, "Server", true, id))
    return host;
  platform::release_peer_session(host);
  return nullptr;
}

TEST(ListAnnouncer, AHostedGameIsProvenThroughItsGamePortAndListed) {
  RunningList list;
  const uint16_t port = test_port();
  platform::PeerSession* host = open_hosted_game(port);
  ASSERT_NE(host, nullptr);
  Announcer a(list.address);
  ASSERT_NE(a.announcer, nullptr);
  const auto game = game_on(port);

  ASSERT_TRUE(a.announce(game, 0, host));
  EXPECT_EQ(platform::list_state(*a.announcer, 0), platform::ListState::Pending);
  EXPECT_EQ(platform::next_announcement_ms(*a.announcer, 0), 20000);  // the list's announce_every
  // The proof reaches the game port and its echo the list.
  for (int i = 0; i < 100; ++i, std::this_thread::sleep_for(5ms)) platform::keep_alive(host);
  ASSERT_TRUE(a.announce(game, 20000, host));
  EXPECT_EQ(platform::list_state(*a.announcer, 0), platform::ListState::Listed);
  ASSERT_TRUE(a.announce(game, 40000, host));
  EXPECT_EQ(platform::list_state(*a.announcer, 0), platform::ListState::Listed);
  EXPECT_EQ(a.lines_with("the list at " + list.address + " lists the game"), 1);
  EXPECT_EQ(a.log.size(), 1u);
  platform::release_peer_session(host);
}

// A stopping host withdraws its game from the lists that hold it, at the
// port it announced, all at once; a list that takes the connection and
// never answers holds it back no longer than the time given.
TEST(ListAnnouncer, AStoppingHostWithdrawsItsGameAndASilentListDoesNotHoldItBack) {
  RunningList list;
  const uint16_t port = test_port();
  platform::PeerSession* host = open_hosted_game(port);
  ASSERT_NE(host, nullptr);
  const int silent = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(kLoopback);
  socklen_t size = sizeof at;
  ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
  ASSERT_EQ(listen(silent, 4), 0);
  getsockname(silent, reinterpret_cast<sockaddr*>(&at), &size);
  const std::string silent_address = "127.0.0.1:" + std::to_string(ntohs(at.sin_port));

  std::vector<std::string> log;
  const char* addresses[] = {list.address.c_str(), silent_address.c_str()};
  platform::ListAnnouncer* announcer = platform::create_list_announcer(
      addresses, 2, [](void* log, const char* line) { static_cast<std::vector<std::string>*>(log)->push_back(line); },
      &log);
  ASSERT_NE(announcer, nullptr);
  const auto game = game_on(port);
  auto drive_until = [&](double now_ms, platform::ListState state) {
    for (auto end = std::chrono::steady_clock::now() + 5s;
         std::chrono::steady_clock::now() < end && platform::list_state(*announcer, 0) != state;
         std::this_thread::sleep_for(2ms)) {
      platform::drive_list_announcer(*announcer, game, now_ms);
      platform::keep_alive(host);
    }
    return platform::list_state(*announcer, 0) == state;
  };
  ASSERT_TRUE(drive_until(0, platform::ListState::Pending));
  for (int i = 0; i < 100; ++i, std::this_thread::sleep_for(5ms)) platform::keep_alive(host);
  ASSERT_TRUE(drive_until(20000, platform::ListState::Listed));
  ASSERT_EQ(list::game_list_of(*list.service).listed_count, 1);

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(platform::withdraw_from_lists(*announcer, 500), 1u);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, 400ms);  // the silent list waited for
  EXPECT_LT(waited, 1500ms);  // and no longer than asked
  EXPECT_EQ(list::game_list_of(*list.service).game_count, 0);
  int withdrawn = 0, silent_lines = 0;
  for (const std::string& line : log) {
    withdrawn += line == "the list at " + list.address + " has withdrawn the game";
    silent_lines += line.find("the list at " + silent_address + " has not") == 0;
  }
  EXPECT_EQ(withdrawn, 1);
  EXPECT_EQ(silent_lines, 1) << testing::PrintToString(log);
  // Nothing is announced after.
  platform::drive_list_announcer(*announcer, game, 1e9);
  EXPECT_EQ(platform::withdraw_from_lists(*announcer, 500), 0u);
  platform::release_list_announcer(announcer);
  close(silent);
  platform::release_peer_session(host);
}

TEST(ListAnnouncer, AnUnreachablePortIsToldOnceAndARefusalWithItsReason) {
  RunningList list;
  Announcer silent(list.address), refused(list.address);
  // Nobody answers proofs on this port: pending, answer after answer.
  const auto game = game_on(test_port() + 1);
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(silent.announce(game, i * 20000.0));
    EXPECT_EQ(platform::list_state(*silent.announcer, 0), platform::ListState::Pending);
    EXPECT_EQ(silent.lines_with("does not seem reachable"), i < 2 ? 0 : 1) << i;
  }
  EXPECT_EQ(silent.lines_with("has not seen the proof: UDP port " + std::to_string(game.port) +
                              " does not seem reachable from the internet"),
            1);

  auto bad = game;
  bad.port = 80;  // no game port a list takes
  ASSERT_TRUE(refused.announce(bad, 0));
  EXPECT_EQ(platform::list_state(*refused.announcer, 0), platform::ListState::Refused);
  ASSERT_TRUE(refused.announce(bad, 20000));
  ASSERT_EQ(refused.log.size(), 1u);
  EXPECT_NE(refused.log[0].find("refuses the game (HTTP 400): "), std::string::npos) << refused.log[0];
  EXPECT_NE(refused.log[0].find("port"), std::string::npos) << refused.log[0];
}

TEST(ListAnnouncer, AListThatIsDownIsAskedAgainLessAndLessOftenAndToldOnce) {
  // A port nobody listens on.
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(kLoopback);
  socklen_t size = sizeof at;
  bind(probe, reinterpret_cast<sockaddr*>(&at), sizeof at);
  getsockname(probe, reinterpret_cast<sockaddr*>(&at), &size);
  const std::string address = "127.0.0.1:" + std::to_string(ntohs(at.sin_port));
  Announcer a(address);
  const auto game = game_on(test_port());
  double now = 0;
  const double waits[] = {20, 40, 80, 160, 320, 600, 600};
  for (double wait : waits) {
    ASSERT_TRUE(a.announce(game, now));
    EXPECT_EQ(platform::list_state(*a.announcer, 0), platform::ListState::Unreachable);
    EXPECT_EQ(platform::next_announcement_ms(*a.announcer, 0), now + wait * 1000) << wait;
    // Not asked again before then.
    platform::drive_list_announcer(*a.announcer, game, now + wait * 1000 - 1);
    EXPECT_EQ(platform::next_announcement_ms(*a.announcer, 0), now + wait * 1000);
    now += wait * 1000;
  }
  close(probe);
  ASSERT_EQ(a.log.size(), 1u);
  EXPECT_NE(a.log[0].find("the list at " + address + " cannot be reached"), std::string::npos) << a.log[0];
}

}  // namespace
