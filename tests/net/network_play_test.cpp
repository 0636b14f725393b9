// A host and several clients as game objects in one process, joined over
// real ENet on the loopback and advanced frame by frame.
#include <gtest/gtest.h>
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

#include "menus/menus.h"
#include "net/session.h"
#include "shell/game.h"
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

// A network in front of the real one that loses every message not sent
// guaranteed.
Transport lossy_in_front_of(Transport& real) {
  Transport lossy;
  lossy.context = &real;
  lossy.send = [](void* inner, uint32_t from, uint32_t to, bool guaranteed, const uint8_t* bytes,
                  std::size_t size) {
    const Transport& t = *static_cast<const Transport*>(inner);
    return !guaranteed || t.send(t.context, from, to, guaranteed, bytes, size);
  };
  lossy.message_count = [](void* inner, uint32_t player) {
    const Transport& t = *static_cast<const Transport*>(inner);
    return t.message_count(t.context, player);
  };
  lossy.receive = [](void* inner, uint32_t player, uint32_t& from, uint32_t& to, uint8_t* buffer,
                     std::size_t capacity, std::size_t& size) {
    const Transport& t = *static_cast<const Transport*>(inner);
    return t.receive(t.context, player, from, to, buffer, capacity, size);
  };
  return lossy;
}

void place_tank(Game& game, float x, float z) {
  LocalTank& tank = game.world.tank;
  tank.x = x;
  tank.y = 5.0f;
  tank.z = z;
  tank.turret_heading = 0.0f;  // shells fly along +z
  tank.in_play = 1;
  tank.health = 100;
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
  // The host's unguaranteed sends are all lost from here on: a hit must
  // still reach its victim.
  Transport host_network = host->protocol.transport;
  host->protocol.transport = lossy_in_front_of(host_network);
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

  // A dead tank re-enters with 100, which the host accepts.
  victim.world.tank.health = 100;
  ASSERT_TRUE(run_until(all, [&] {
    for (Game* game : all)
      if (slot_of(*game, 4).health != 100) return false;
    return true;
  }));
  host->protocol.transport = host_network;

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
  for (int n = 0; n < 254; ++n) send_fire(*host, 0, 50, 0, 0, 0, 0, 0, 0, 1);
  EXPECT_EQ(host->world.projectile_next, 0);
  writer.world.tank.turret_heading = 180.0f;
  fire_shell(writer);
  ASSERT_TRUE(run_until(all, [&] {
    for (Game* game : all)
      if (game->world.projectile_table[0].owner_id != 3u) return false;
    return true;
  }));
  EXPECT_EQ(host->world.projectile_next, 1);

  // A clean leave is seen at once.
  release_directplay(victim);
  const Players staying = {host.get(), &shooter, &writer};
  ASSERT_TRUE(run_until(staying, [&] {
    for (Game* game : staying)
      if (!logged(*game, "Guest3 left the game.", "SYS") || slot_of(*game, 4).active) return false;
    return true;
  }));

  // The next player takes the departed one's slot, and nothing of the old
  // tank shows before the newcomer's first status.
  std::vector<NetworkGame> more;
  more.push_back(make_game("Late4", false, port));
  ASSERT_EQ(join(*host, *more.back()), 1);
  ASSERT_TRUE(run_until(staying, [&] { return slot_of(*host, 5).player_id == 5; }));
  const PlayerSlot& reused = host->world.player_table[3];
  EXPECT_EQ(reused.player_id, 5u);
  EXPECT_EQ(reused.in_play, 0);
  EXPECT_EQ(reused.health, 0);
  EXPECT_EQ(reused.z, 0.0f);

  // A peer's name cannot carry terminal escapes to another player's screen
  // or terminal.
  host->log.echo = true;
  testing::internal::CaptureStdout();
  more.push_back(make_game("\x1b[2J", false, port));
  ASSERT_EQ(join(*host, *more.back()), 1);
  run_until(staying, [&] { return slot_of(*host, 6).player_id == 6; });
  const std::string echoed = testing::internal::GetCapturedStdout();
  host->log.echo = false;
  EXPECT_EQ(echoed.find('\x1b'), std::string::npos);
  EXPECT_NE(echoed.find("?[2J joined the game."), std::string::npos) << echoed;
  EXPECT_STREQ(slot_of(*host, 6).name, "?[2J");

  // Three more fill the game to eight players; one of them has no name in
  // its config.dat and joins under the default one.
  for (int players = 6; players <= 8; ++players) {
    more.push_back(make_game(players == 7 ? "" : ("Late" + std::to_string(players)).c_str(), false, port));
    ASSERT_EQ(join(*host, *more.back()), 1) << "player " << players;
  }
  run_until(staying, [&] { return logged(*host, "Player joined the game.", "SYS"); });
  EXPECT_TRUE(logged(*host, "Player joined the game.", "SYS"));
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
  const Players left = {&shooter, &writer};
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
  ASSERT_EQ(open_session(*host), 1);
  with_host_served(*host, [&] { EXPECT_EQ(enumerate_sessions(*client), 1); });
  ASSERT_EQ(client->session.session_count, 1);
  EXPECT_STREQ(client->session.session_list[0].session_name, "Lanny's game");
  EXPECT_EQ(client->session.session_list[0].current_players, 1);

  // Without any transport chosen nothing opens, and the table keeps its start values.
  auto offline = make_game("Alone", true, port);
  EXPECT_EQ(open_session(*offline), 0);
  EXPECT_EQ(offline->world.player_table[0].active, 0);
}

}  // namespace
