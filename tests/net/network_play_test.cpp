// A host and several clients as game objects in one process, joined over
// real ENet on the loopback and advanced frame by frame.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/game.h"
#include "menus/menus.h"
#include "net/protocol.h"
#include "net/score.h"
#include "net/session.h"
#include "platform/port_mapping.h"
#include "world/projectiles.h"

namespace {

using Players = std::vector<Game*>;

// Ports of this test program alone, so that test programs running side by
// side on one machine never meet.
uint16_t test_game_port() { return static_cast<uint16_t>(20000 + (getpid() % 5000) * 4); }

// A game that leaves its session and frees it when the test lets it go.
struct ReleaseSession {
  void operator()(Game* game) const {
    release_directplay(*game);
    delete game;
  }
};
using NetworkGame = std::unique_ptr<Game, ReleaseSession>;

NetworkGame make_game(const char* name, bool host, uint16_t port) {
  NetworkGame game(new Game);
  game->settings.is_host = host ? 1 : 0;
  game->settings.use_tcpip = 1;
  std::snprintf(game->settings.player_name, sizeof game->settings.player_name, "%s", name);
  std::snprintf(game->settings.host_address, sizeof game->settings.host_address, "127.0.0.1");
  game->session.ports = {port, static_cast<uint16_t>(port + 1), 0};
  game->session.enumeration_ms = 300;
  EXPECT_EQ(create_directplay(*game), 1);
  return game;
}

// A listing or a join blocks the client until the host answers, so the host
// is served from a second thread meanwhile (it touches nothing else).
void with_host_served(Game& host, const std::function<void()>& client_work) {
  std::atomic<bool> done{false};
  std::thread server([&] {
    while (!done) {
      keep_session_alive(host);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  client_work();
  done = true;
  server.join();
}

int join(Game& host, Game& client) {
  connect_tcpip(client, client.settings.host_address);
  int opened = 0;
  with_host_served(host, [&] {
    enumerate_sessions(client);
    client.session.selected_session = 0;
    opened = open_session(client);
  });
  return opened;
}

void frame(const Players& players) {
  for (Game* game : players) {
    send_status(*game);
    receive_messages(*game);
    advance_projectiles(*game, 1.0f);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

bool run_until(const Players& players, const std::function<bool()>& done, int max_frames = 400) {
  for (int n = 0; n < max_frames; ++n) {
    if (done()) return true;
    frame(players);
  }
  return done();
}

std::string table_of(const Game& game) {
  std::string text;
  for (const PlayerSlot& slot : game.world.player_table)
    if (slot.active) text += std::to_string(slot.player_id) + ":" + slot.name + " ";
  return text;
}

bool logged(const Game& game, const char* text, const char* source) {
  for (const LogEntry& entry : game.log.entries)
    if (std::strcmp(entry.text, text) == 0 && std::strcmp(entry.source, source) == 0) return true;
  return false;
}

const PlayerSlot& slot_of(const Game& game, uint32_t id) {
  for (const PlayerSlot& slot : game.world.player_table)
    if (slot.player_id == id) return slot;
  return game.world.player_table[0];
}

// A network in front of the real one that loses two of every three
// messages not sent guaranteed (the host's relayed statuses).
struct LossyNetwork {
  Transport real;
  uint32_t unguaranteed = 0;
};

Transport lossy_in_front_of(LossyNetwork& network) {
  Transport lossy;
  lossy.context = &network;
  lossy.send = [](void* inner, uint32_t from, uint32_t to, bool guaranteed, const uint8_t* bytes,
                  std::size_t size) {
    LossyNetwork& n = *static_cast<LossyNetwork*>(inner);
    if (!guaranteed && n.unguaranteed++ % 3 != 0) return true;
    return n.real.send(n.real.context, from, to, guaranteed, bytes, size);
  };
  lossy.message_count = [](void* inner, uint32_t player) {
    const Transport& t = static_cast<LossyNetwork*>(inner)->real;
    return t.message_count(t.context, player);
  };
  lossy.receive = [](void* inner, uint32_t player, uint32_t& from, uint32_t& to, uint8_t* buffer,
                     std::size_t capacity, std::size_t& size) {
    const Transport& t = static_cast<LossyNetwork*>(inner)->real;
    return t.receive(t.context, player, from, to, buffer, capacity, size);
  };
  return lossy;
}

// Hands the game a relayed status of the player `id` written by nobody in
// play: what arrives when a status overtakes its player's creation or
// follows its departure.
void status_arrives(Game& game, uint32_t id) {
  StatusMessage status;
  status.header = {MSG_STATUS, 1, id};
  status.x = 77.0f;
  status.z = 77.0f;
  status.in_play = 1;
  status.health = 100;
  const uint32_t from = game.settings.is_host ? id : DPID_SERVERPLAYER;
  handle_game_message(game, encode_message(status), from, game.world.tank.local_player_id);
}

// A tank out of play enters a new life, as through its entry prompt.
void place_tank(Game& game, float x, float z) {
  LocalTank& tank = game.world.tank;
  if (!tank.in_play) ++tank.life;
  tank.x = x;
  tank.y = 5.0f;
  tank.z = z;
  tank.turret_heading = 0.0f;  // shells fly along +z
  tank.in_play = 1;
  tank.health = 100;
}

// The shooter's shells kill the victim, which then leaves play as its
// entry prompt has it. Each duel at an x of its own, out of the others' way.
void kill_in_duel(const Players& all, Game& shooter, Game& victim, float x) {
  place_tank(shooter, x, 20.0f);
  place_tank(victim, x, 24.0f);
  const uint32_t id = victim.world.tank.local_player_id;
  ASSERT_TRUE(run_until(all, [&] {
    for (Game* game : all)
      if (slot_of(*game, id).z != 24.0f || slot_of(*game, id).health != 100 || !slot_of(*game, id).in_play)
        return false;
    return true;
  }));
  for (int32_t health : {50, 0}) {
    fire_shell(shooter);
    ASSERT_TRUE(run_until(all, [&] { return victim.world.tank.health == health; }));
  }
  victim.world.tank.in_play = 0;
  run_until(all, [] { return false; }, 20);
}

// A program's score table, seat by seat: id, kills, deaths, round trip.
std::string scores_of(const Game& game) {
  std::string text;
  for (std::size_t i = 0; i < kMaxPlayers; ++i) {
    const ScoreRow row = score_of_slot(game, i);
    if (row.player_id != 0)
      text += std::to_string(row.player_id) + ":" + std::to_string(row.kills) + ":" +
              std::to_string(row.deaths) + ":" + std::to_string(row.round_trip_ms) + " ";
  }
  return text;
}

bool same_scores_everywhere(const Players& players) {
  for (Game* game : players)
    if (scores_of(*game) != scores_of(*players[0])) return false;
  return true;
}

// The names of the shown table, best first.
std::string ranking_of(const Game& game) {
  std::array<ScoreLine, kMaxPlayers> lines{};
  std::string text;
  for (std::size_t n = 0, count = score_lines(game, lines); n < count; ++n)
    text += std::string(lines[n].slot->name) + (lines[n].local ? "* " : " ");
  return text;
}

TEST(NetworkPlay, FourPlayersPlayTogetherOverLoopback) {
  const uint16_t port = test_game_port();
  auto host = make_game("Hostess", true, port);
  connect_tcpip(*host, "");
  ASSERT_EQ(open_session(*host), 1);
  EXPECT_EQ(host->world.tank.local_player_id, 1u);

  std::vector<NetworkGame> clients;
  for (int i = 1; i <= 3; ++i) {
    clients.push_back(make_game(("Guest" + std::to_string(i)).c_str(), false, port));
    Game& client = *clients.back();
    ASSERT_EQ(join(*host, client), 1) << "client " << i;
    const SessionEntry& listed = client.session.session_list[0];
    EXPECT_EQ(client.session.session_count, 1);
    EXPECT_STREQ(listed.session_name, "Hostess's game");
    EXPECT_EQ(listed.current_players, i);
    EXPECT_EQ(listed.max_players, 8);
    EXPECT_EQ(client.world.tank.local_player_id, static_cast<uint32_t>(i + 1));
  }
  Game& shooter = *clients[0];
  Game& writer = *clients[1];
  Game& victim = *clients[2];
  const Players all = {host.get(), &shooter, &writer, &victim};

  // From here to the re-entry the host's relayed statuses are mostly lost
  // (two of every three): every program still agrees on the players, the
  // shots, health and kills, which all travel guaranteed.
  LossyNetwork host_network{host->protocol.transport};
  host->protocol.transport = lossy_in_front_of(host_network);

  // Every program holds every player, in join order, once the joins are announced.
  const std::string expected = "1:Hostess 2:Guest1 3:Guest2 4:Guest3 ";
  ASSERT_TRUE(run_until(all, [&] {
    for (Game* game : all)
      if (table_of(*game) != expected) return false;
    return true;
  })) << table_of(shooter);
  EXPECT_TRUE(logged(*host, "Guest3 joined the game.", "SYS"));

  // Status: the victim stands 4 units ahead of the shooter's gun.
  place_tank(shooter, 20.0f, 20.0f);
  place_tank(victim, 20.0f, 24.0f);
  ASSERT_TRUE(run_until(all, [&] {
    for (Game* game : all)
      if (slot_of(*game, 4).z != 24.0f || !slot_of(*game, 4).in_play) return false;
    return true;
  }));

  // A client's shot: numbered by the host, the same number everywhere; it
  // hits, the victim's health drops through set-health, and the second kills.
  fire_shell(shooter);
  EXPECT_EQ(shooter.world.projectile_table[0].active, 0);  // not before the host numbered it
  ASSERT_TRUE(run_until(all, [&] { return victim.world.tank.health == 50; }));
  for (Game* game : all) EXPECT_EQ(game->world.projectile_table[0].owner_id, 2u);
  ASSERT_TRUE(run_until(all, [&] {
    for (Game* game : all)
      if (game->world.projectile_table[0].active || slot_of(*game, 4).health != 50) return false;
    return true;
  }));
  // A status cannot raise health: the host keeps its own copy and relays it.
  victim.world.tank.health = 100;
  run_until(all, [] { return false; }, 20);
  for (Game* game : all) EXPECT_EQ(slot_of(*game, 4).health, 50) << game->settings.player_name;
  victim.world.tank.health = 50;
  fire_shell(shooter);
  ASSERT_TRUE(run_until(all, [&] {
    for (Game* game : all)
      if (std::strncmp(game->log.entries[0].text, "Guest3 ", 7) != 0) return false;
    return victim.world.tank.health == 0;
  }));
  for (Game* game : all) {
    EXPECT_EQ(game->log.entries[0].category, LOG_EVENT);
    EXPECT_NE(std::strstr(game->log.entries[0].text, " Guest1"), nullptr) << game->log.entries[0].text;
  }

  // A status like those the victim sent before it learned of its death
  // (100, in play, where it died) does not bring the tank back: it stays
  // dead and out of play everywhere, and shells pass it by.
  victim.world.tank.health = 100;
  run_until(all, [] { return false; }, 20);
  for (Game* game : all) {
    EXPECT_LT(slot_of(*game, 4).health, 1) << game->settings.player_name;
    EXPECT_EQ(slot_of(*game, 4).in_play, 0) << game->settings.player_name;
  }
  // Its re-entry does, a new life, although every status it sent out of
  // play was lost.
  victim.world.tank.health = 100;
  ++victim.world.tank.life;
  ASSERT_TRUE(run_until(all, [&] {
    for (Game* game : all)
      if (slot_of(*game, 4).health != 100) return false;
    return true;
  }));
  EXPECT_GT(host_network.unguaranteed, 100u);
  host->protocol.transport = host_network.real;

  // The host keeps the score: after a series of kills every program holds
  // the host's table, and shows it best first (kills, then fewer deaths).
  ASSERT_NO_FATAL_FAILURE(kill_in_duel(all, victim, shooter, 40.0f));
  ASSERT_NO_FATAL_FAILURE(kill_in_duel(all, *host, writer, 60.0f));
  ASSERT_NO_FATAL_FAILURE(kill_in_duel(all, victim, writer, 80.0f));
  ASSERT_TRUE(run_until(all, [&] { return same_scores_everywhere(all); })) << scores_of(victim);
  EXPECT_EQ(scores_of(*host), "1:1:0:0 2:1:1:0 3:0:2:0 4:2:1:0 ");
  EXPECT_EQ(ranking_of(writer), "Guest3 Hostess Guest1 Guest2* ");
  EXPECT_EQ(ranking_of(*host), "Guest3 Hostess* Guest1 Guest2 ");

  // Round trips are read again once a second and reach every program.
  host->protocol.transport.round_trip_ms = [](void*, uint32_t player) { return 40u + player; };
  host->world.frame_start_ms += 1000.0;
  ASSERT_TRUE(run_until(all, [&] { return scores_of(writer) == "1:1:0:0 2:1:1:42 3:0:2:43 4:2:1:44 "; }))
      << scores_of(writer);
  EXPECT_TRUE(same_scores_everywhere(all));

  // A client may not write the table: refused and logged by the host,
  // whichever sender it claims, and nobody's table changes.
  for (uint32_t claimed : {writer.world.tank.local_player_id, DPID_SERVERPLAYER}) {
    ScoreMessage forged;
    forged.header = {MSG_SCORE, 1, claimed};
    forged.rows[0] = {claimed, 99, 0, 1};
    send_to_host(writer, encode_message(forged));
    ASSERT_TRUE(run_until(all, [&] { return logged(*host, "Found an invalid message.", "ERROR"); }));
    host->log = MessageLog{};
  }
  run_until(all, [] { return false; }, 10);
  for (Game* game : all) EXPECT_EQ(scores_of(*game), "1:1:0:0 2:1:1:42 3:0:2:43 4:2:1:44 ");
  host->protocol.transport = host_network.real;
  // Back to where the duels found them, out of each other's line of fire.
  place_tank(shooter, 20.0f, 20.0f);
  place_tank(victim, 20.0f, 24.0f);
  host->world.tank = LocalTank{.local_player_id = 1};
  place_tank(writer, 0.0f, 0.0f);
  run_until(all, [] { return false; }, 20);

  // Chat reaches everyone, the writer included, under the writer's name.
  TextMessage chat;
  chat.header = {MSG_CHAT, 1, writer.world.tank.local_player_id};
  std::strcpy(chat.text, "cover me");
  send_to_host(writer, encode_message(chat));
  ASSERT_TRUE(run_until(all, [&] {
    for (Game* game : all)
      if (!logged(*game, "cover me", "Guest2")) return false;
    return true;
  }));

  // Shot numbers wrap: after 256 numbers the host hands out 0 again.
  for (int32_t n = host->world.projectile_next; n < 256; ++n) send_fire(*host, 0, 50, 0, 0, 0, 0, 0, 0, 1);
  EXPECT_EQ(host->world.projectile_next, 0);
  writer.world.tank.turret_heading = 180.0f;
  fire_shell(writer);
  ASSERT_TRUE(run_until(all, [&] {
    for (Game* game : all)
      if (game->world.projectile_table[0].owner_id != 3u) return false;
    return true;
  }));
  EXPECT_EQ(host->world.projectile_next, 1);

  // The host's window is inactive for 10 s: it handles no messages and only
  // keeps the session alive, while the three others play on and fire every
  // half second (the last one well before it comes back). Back, it numbers
  // none of the requests that waited, and numbers the next shot as ever.
  {
    shooter.world.tank.turret_heading = 180.0f;  // nobody stands that way
    const Players others = {&shooter, &writer, &victim};
    const int32_t numbered = host->world.projectile_next;
    uint32_t requests = 0;
    const auto away = std::chrono::steady_clock::now();
    for (int n = 0; std::chrono::steady_clock::now() - away < std::chrono::seconds(10); ++n) {
      keep_session_alive(*host);
      for (Game* game : others) {
        send_status(*game);
        receive_messages(*game);
      }
      if (n % 40 == 0 && std::chrono::steady_clock::now() - away < std::chrono::milliseconds(9500)) {
        for (Game* game : others) fire_shell(*game);
        requests += 3;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(12));
    }
    frame(all);  // the host's first frame back
    EXPECT_EQ(host->world.projectile_next, numbered) << "stale requests were numbered";
    EXPECT_GE(host->protocol.stale_fire_requests, requests * 9 / 10) << "of " << requests;
    run_until(all, [] { return false; }, 5);
    const Projectile& next_shot = shooter.world.projectile_table[static_cast<std::size_t>(numbered)];
    for (Game* game : others) EXPECT_EQ(game->world.projectile_table[static_cast<std::size_t>(numbered)].active, 0);
    fire_shell(shooter);
    ASSERT_TRUE(run_until(all, [&] { return next_shot.active && next_shot.vz < 0; }));
    EXPECT_EQ(host->world.projectile_next, numbered + 1);
    EXPECT_EQ(slot_of(*host, 4).health, 100);
  }

  // Two players from the middle of the join order leave cleanly: seen at once.
  release_directplay(shooter);
  release_directplay(writer);
  const Players staying = {host.get(), &victim};
  ASSERT_TRUE(run_until(staying, [&] {
    for (Game* game : staying)
      if (!logged(*game, "Guest1 left the game.", "SYS") || !logged(*game, "Guest2 left the game.", "SYS") ||
          slot_of(*game, 2).active || slot_of(*game, 3).active)
        return false;
    return true;
  }));

  // Statuses travel apart from the notices of joins and departures: a late
  // one of each player who left, and one of the next player (id 5) that
  // overtook its creation, change nobody's table, least of all slot 0.
  for (Game* game : staying) {
    const auto before = game->world.player_table;
    for (uint32_t id : {2u, 3u, 5u}) status_arrives(*game, id);
    EXPECT_EQ(std::memcmp(&before, &game->world.player_table, sizeof before), 0) << game->settings.player_name;
  }

  // The first newcomer takes Guest1's place, and nothing of the old tank
  // shows before the newcomer's first status.
  Players everyone = staying;
  std::vector<NetworkGame> more;
  more.push_back(make_game("Late3", false, port));
  ASSERT_EQ(join(*host, *more.back()), 1);
  everyone.push_back(more.back().get());
  ASSERT_TRUE(run_until(staying, [&] { return slot_of(*host, 5).player_id == 5; }));
  const PlayerSlot& reused = host->world.player_table[1];
  EXPECT_EQ(reused.player_id, 5u);
  EXPECT_EQ(reused.in_play, 0);
  EXPECT_EQ(reused.health, 0);
  EXPECT_EQ(reused.z, 0.0f);
  // The newcomer receives the whole table, the departed gone from it and
  // nothing of Guest1's score in its seat.
  ASSERT_TRUE(run_until(everyone, [&] { return same_scores_everywhere(everyone); }))
      << scores_of(*everyone[2]) << "instead of " << scores_of(*host);
  EXPECT_EQ(scores_of(*host).substr(0, 12), "1:1:0:0 5:0:");
  EXPECT_NE(scores_of(*host).find(" 4:2:1:"), std::string::npos) << scores_of(*host);
  // Nor after the host's next reading of the round trips, a second later:
  // the table it sends then still starts the newcomer from nothing.
  host->protocol.transport.round_trip_ms = [](void*, uint32_t player) { return 40u + player; };
  host->world.frame_start_ms += 1000.0;
  ASSERT_TRUE(run_until(everyone, [&] { return scores_of(*everyone[2]).find(" 5:0:0:45 ") != std::string::npos; }))
      << scores_of(*everyone[2]);
  EXPECT_TRUE(same_scores_everywhere(everyone));
  host->protocol.transport.round_trip_ms = host_network.real.round_trip_ms;

  // Five more fill the game to eight players, the next in the place Guest2
  // left; every program, old or new, has every player in the same order.
  // One name carries a terminal escape, which is neither shown nor echoed;
  // one config.dat has no name, and that player joins under the default.
  host->log.echo = true;
  testing::internal::CaptureStdout();
  const char* names[] = {"Late4", "\x1b[2J", "", "Late7", "Late8"};
  for (const char* name : names) {
    more.push_back(make_game(name, false, port));
    ASSERT_EQ(join(*host, *more.back()), 1) << "player " << name;
    everyone.push_back(more.back().get());
  }
  const std::string seated = "1:Hostess 5:Late3 6:Late4 4:Guest3 7:?[2J 8:Player 9:Late7 10:Late8 ";
  const bool agreed = run_until(everyone, [&] {
    for (Game* game : everyone)
      if (table_of(*game) != seated) return false;
    return true;
  });
  const std::string echoed = testing::internal::GetCapturedStdout();
  host->log.echo = false;
  ASSERT_TRUE(agreed) << "the host has " << table_of(*host) << "and the first newcomer "
                      << table_of(*everyone[2]);
  EXPECT_EQ(echoed.find('\x1b'), std::string::npos);
  EXPECT_NE(echoed.find("?[2J joined the game."), std::string::npos) << echoed;

  // A ninth picks the game from the session menu and is refused: it stays
  // at the menu with the reason on its screen, and lists the games again.
  more.push_back(make_game("Ninth", false, port));
  Game& refused = *more.back();
  with_host_served(*host, [&] {
    session_menu_frame(refused);
    refused.input.key_state[kScanEnter] = kKeyDownBit;
    session_menu_frame(refused);
  });
  EXPECT_EQ(refused.world.in_session, 0);
  EXPECT_EQ(refused.world.player_table[0].active, 0);
  EXPECT_EQ(refused.session.session_list[0].current_players, 8);
  EXPECT_STREQ(refused.log.entries[0].text, "The game is full: it has 8 players.");
  EXPECT_EQ(refused.menus.session_menu_phase, 0);

  // The host goes: every client carries on alone, with the two notices.
  release_directplay(*host);
  const Players left = {&victim, more.front().get()};
  ASSERT_TRUE(run_until(left, [&] {
    for (Game* game : left)
      if (networking_on(game->settings)) return false;
    return true;
  }));
  for (Game* game : left) {
    EXPECT_STREQ(game->log.entries[0].text, "All remote players lost!");
    EXPECT_STREQ(game->log.entries[1].text, "The host has disconnected...");
    EXPECT_EQ(game->settings.is_host, 1);
  }
  frame(left);
  for (Game* game : left) EXPECT_STREQ(game->log.entries[0].text, "All remote players lost!");
}

// A host on this machine's discovery port that misses the first query and
// then answers every query twice; it counts the queries it saw.
struct ForgetfulHost {
  int socket_fd = -1;
  std::atomic<int> queries{0};
  std::thread thread;

  ForgetfulHost(uint16_t discovery_port, uint16_t game_port) {
    socket_fd = socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    setsockopt(socket_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(discovery_port);
    EXPECT_EQ(bind(socket_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    timeval wait{0, 50000};
    setsockopt(socket_fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    platform::DiscoveryReply reply;
    reply.instance.fill(42);
    reply.current_players = 1;
    reply.max_players = 8;
    reply.game_port = game_port;
    std::snprintf(reply.session_name, sizeof reply.session_name, "Ghost's game");
    thread = std::thread([this, bytes = platform::encode_discovery_reply(reply)] {
      const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
      while (std::chrono::steady_clock::now() < end) {
        std::array<uint8_t, 256> query{};
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t got = recvfrom(socket_fd, query.data(), query.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (got <= 0 || ++queries == 1) continue;
        for (int copy = 0; copy < 2; ++copy)
          sendto(socket_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
      }
    });
  }
  ~ForgetfulHost() {
    if (thread.joinable()) thread.join();
    close(socket_fd);
  }
};

TEST(NetworkPlay, LanGamesAreFoundByBroadcast) {
  const uint16_t port = static_cast<uint16_t>(test_game_port() + 2);
  auto host = make_game("Lanny", true, port);
  auto client = make_game("Seeker", false, port);
  for (Game* game : {host.get(), client.get()}) {
    game->settings.use_tcpip = 0;
    game->settings.use_ipx = 1;
    game->session.ports.broadcast_override = 0x7FFFFFFF;  // 127.255.255.255: this machine only
    ASSERT_EQ(connect_ipx(*game), 1);
  }

  // A lost query does not hide a game: the listing asks again while it
  // waits, and a game that answers twice is listed once.
  {
    ForgetfulHost forgetful(static_cast<uint16_t>(port + 1), port);
    client->session.enumeration_ms = 1000;
    EXPECT_EQ(enumerate_sessions(*client), 1);
    EXPECT_GE(forgetful.queries, 3);
    ASSERT_EQ(client->session.session_count, 1);
    EXPECT_STREQ(client->session.session_list[0].session_name, "Ghost's game");
    client->session.enumeration_ms = 300;
  }
  // The windowed host asks the router only for an internet game: a game on
  // the local network needs no port opened (nor a thread asking).
  host->session.open_router_port = true;
  ASSERT_EQ(open_session(*host), 1);
  EXPECT_EQ(host->session.port_mapping, nullptr);
  with_host_served(*host, [&] { EXPECT_EQ(enumerate_sessions(*client), 1); });
  ASSERT_EQ(client->session.session_count, 1);
  EXPECT_STREQ(client->session.session_list[0].session_name, "Lanny's game");
  EXPECT_EQ(client->session.session_list[0].current_players, 1);

  // Without any transport chosen nothing opens, and the table keeps its start values.
  auto offline = make_game("Alone", true, port);
  EXPECT_EQ(open_session(*offline), 0);
  EXPECT_EQ(offline->world.player_table[0].active, 0);
}

// The router's answer reaches the player once, as notices from SYS: a
// sentence longer than a notice holds is shown whole, as its two halves.
TEST(NetworkPlay, TheRoutersAnswerIsToldToThePlayerWhole) {
  auto silent = [](void*, uint16_t, uint16_t, uint32_t) { return platform::RouterAnswer{}; };
  auto nothing = [](void*, uint16_t, uint16_t) {};
  const platform::RouterCalls routers[] = {{"NAT-PMP", nullptr, silent, nothing},
                                           {"UPnP", nullptr, silent, nothing}};
  Game game;
  game.session.port_mapping = platform::start_port_mapping_with(24640, routers, 2);
  ASSERT_NE(game.session.port_mapping, nullptr);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (game.log.entries[0].text[0] == '\0' && std::chrono::steady_clock::now() < deadline) {
    report_port_mapping(game);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_STREQ(game.log.entries[1].text, "no router answered NAT-PMP or UPnP");
  EXPECT_STREQ(game.log.entries[0].text,
               "the game can be joined from outside only if port 24640 is forwarded by hand");
  EXPECT_STREQ(game.log.entries[0].source, "SYS");
  EXPECT_EQ(game.log.entries[0].category, LOG_NOTICE);
  report_port_mapping(game);  // told once
  EXPECT_EQ(game.log.entries[2].text[0], '\0');
  release_directplay(game);  // ends the mapping with the session
  EXPECT_EQ(game.session.port_mapping, nullptr);
}

}  // namespace
