#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/game.h"
#include "net/message_log.h"
#include "net/protocol.h"
#include "world/projectiles.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes le32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

template <std::size_t N>
Bytes to_vector(const std::array<uint8_t, N>& bytes) {
  return Bytes(bytes.begin(), bytes.end());
}

std::unique_ptr<Game> make_player(uint32_t id, bool host, const char* name) {
  auto game = std::make_unique<Game>();
  game->settings.is_host = host ? 1 : 0;
  game->settings.use_tcpip = 1;
  game->world.in_session = 1;
  game->world.tank.local_player_id = id;
  std::snprintf(game->settings.player_name, sizeof game->settings.player_name, "%s", name);
  return game;
}

// Players of one game in one process: every send lands in the receiver's
// queue; id 0 reaches everyone but the sender.
struct TestNetwork {
  struct Packet {
    uint32_t from, to;
    Bytes bytes;
  };
  std::map<uint32_t, std::deque<Packet>> queues;
  int calls = 0;
  // Every send: who sent it, the message's type, and whether guaranteed.
  struct Sent {
    uint32_t from;
    int32_t type;
    bool guaranteed;
  };
  std::vector<Sent> sent;

  void connect(Game& game) {
    queues[game.world.tank.local_player_id];
    game.protocol.transport = Transport{this, &send, &count, &receive};
  }
  static TestNetwork& of(void* context) { return *static_cast<TestNetwork*>(context); }
  static bool send(void* context, uint32_t from, uint32_t to, bool guaranteed, const uint8_t* bytes,
                   std::size_t size) {
    TestNetwork& net = of(context);
    ++net.calls;
    MessageHeader header;
    if (decode_header({bytes, size}, header)) net.sent.push_back(Sent{from, header.type, guaranteed});
    bool delivered = false;
    for (auto& [id, queue] : net.queues) {
      if ((to == DPID_ALLPLAYERS && id != from) || id == to) {
        queue.push_back(Packet{from, id, Bytes(bytes, bytes + size)});
        delivered = true;
      }
    }
    return delivered;
  }
  static uint32_t count(void* context, uint32_t player) {
    ++of(context).calls;
    return static_cast<uint32_t>(of(context).queues[player].size());
  }
  static bool receive(void* context, uint32_t player, uint32_t& from, uint32_t& to, uint8_t* buffer,
                      std::size_t capacity, std::size_t& size) {
    auto& queue = of(context).queues[player];
    ++of(context).calls;
    if (queue.empty()) return false;
    const Packet packet = queue.front();
    queue.pop_front();
    from = packet.from;
    to = packet.to;
    size = packet.bytes.size();
    std::memcpy(buffer, packet.bytes.data(), std::min(size, capacity));
    return true;
  }
};

// A status as this program sends it, with its life when it has one.
Bytes status_bytes(const StatusMessage& status) {
  const auto bytes = encode_message(status);
  return Bytes(bytes.begin(), bytes.begin() + static_cast<long>(encoded_size(status)));
}

void name_players(Game& game) {
  auto& table = game.world.player_table;
  table[0] = PlayerSlot{};
  table[0].active = 1;
  table[0].player_id = 1;
  std::strcpy(table[0].name, "Hostess");
  table[1] = PlayerSlot{};
  table[1].active = 1;
  table[1].player_id = 2;
  std::strcpy(table[1].name, "Guest");
}

// ---------------------------------------------------------------------------
// Wire records

TEST(WireRecords, FireLayoutPutsHitscanBeforeHeading) {
  FireMessage fire;
  fire.header = {MSG_FIRE, 1, 0x01020304};
  fire.number = -1;
  fire.x = 1.0f;
  fire.y = -2.0f;
  fire.z = 0.5f;
  fire.vx = 0.25f;
  fire.vy = 0.0f;
  fire.vz = 3.0f;
  fire.hitscan = 7;
  fire.heading = 90.0f;
  fire.owner_id = 0xAABBCCDD;
  const Bytes expected = {
      5,    0,    0,    0,    1,    0,    0,    0,    4,    3,    2,    1,     // header
      0xFF, 0xFF, 0xFF, 0xFF,                                                  // number -1
      0,    0,    0x80, 0x3F, 0,    0,    0,    0xC0, 0,    0,    0,    0x3F,  // x y z
      0,    0,    0x80, 0x3E, 0,    0,    0,    0,    0,    0,    0x40, 0x40,  // vx vy vz
      7,    0,    0,    0,                                                     // hitscan
      0,    0,    0xB4, 0x42,                                                  // heading
      0xDD, 0xCC, 0xBB, 0xAA,                                                  // owner
  };
  EXPECT_EQ(to_vector(encode_message(fire)), expected);
  FireMessage back;
  ASSERT_TRUE(decode_message(expected, back));
  EXPECT_EQ(back.header.sender, 0x01020304u);
  EXPECT_EQ(back.number, -1);
  EXPECT_EQ(back.hitscan, 7);
  EXPECT_FLOAT_EQ(back.heading, 90.0f);
  EXPECT_FLOAT_EQ(back.vz, 3.0f);
  EXPECT_EQ(back.owner_id, 0xAABBCCDDu);
}

TEST(WireRecords, StatusLayout) {
  StatusMessage status;
  status.header = {MSG_STATUS, 1, 2};
  status.x = 1.0f;
  status.gun_pitch = -2.0f;
  status.in_play = 1;
  status.health = -50;
  status.has_life = true;
  status.life = 0x01020304;
  const auto bytes = encode_message(status);
  const Bytes expected = concat({le32(3), le32(1), le32(2), le32(0x3F800000), le32(0), le32(0),
                                 le32(0), le32(0), le32(0xC0000000), le32(1), le32(0xFFFFFFCE),
                                 le32(0x01020304)});
  EXPECT_EQ(to_vector(bytes), expected);
  EXPECT_EQ(encoded_size(status), 48u);
  StatusMessage back;
  ASSERT_TRUE(decode_message(bytes, back));
  EXPECT_EQ(back.health, -50);
  EXPECT_FLOAT_EQ(back.gun_pitch, -2.0f);
  EXPECT_TRUE(back.has_life);
  EXPECT_EQ(back.life, 0x01020304u);
  // An older program's status ends after the health: it has no life.
  for (std::size_t size = 44; size < 48; ++size) {
    const Bytes older(expected.begin(), expected.begin() + static_cast<long>(size));
    ASSERT_TRUE(decode_message(older, back)) << size;
    EXPECT_FALSE(back.has_life);
    EXPECT_EQ(back.health, -50);
  }
}

TEST(WireRecords, TextLayoutKeepsValueAtTheEnd) {
  TextMessage text;
  text.header = {MSG_PROJECTILE_GONE, 1, 1};
  std::strcpy(text.text, "hi");
  text.value = 255;
  const auto bytes = encode_message(text);
  ASSERT_EQ(bytes.size(), 272u);
  EXPECT_EQ(to_vector(bytes), concat({le32(6), le32(1), le32(1), Bytes{'h', 'i'}, Bytes(254, 0), le32(255)}));
}

TEST(WireRecords, TruncatedRecordsAreRejected) {
  TextMessage text;
  text.header.type = MSG_EVENT;
  StatusMessage status;
  FireMessage fire;
  const Bytes full_text = to_vector(encode_message(text));
  const Bytes full_status = to_vector(encode_message(status));
  const Bytes full_fire = to_vector(encode_message(fire));
  for (std::size_t n = 0; n < full_text.size(); ++n) {
    // Copies of exactly n bytes, so a read past them is caught by the sanitizer.
    const Bytes cut(full_text.begin(), full_text.begin() + static_cast<long>(n));
    EXPECT_FALSE(decode_message(cut, text)) << n;
    if (n < kStatusMessageSize) {
      const Bytes cut_status(full_status.begin(), full_status.begin() + static_cast<long>(n));
      EXPECT_FALSE(decode_message(cut_status, status)) << n;
    }
    if (n < full_fire.size()) {
      const Bytes cut_fire(full_fire.begin(), full_fire.begin() + static_cast<long>(n));
      EXPECT_FALSE(decode_message(cut_fire, fire)) << n;
    }
  }
}

TEST(WireRecords, FieldsThatIndexTablesAreRangeChecked) {
  for (int32_t number : {-2, 256, INT32_MIN}) {
    FireMessage fire;
    fire.header.type = MSG_FIRE;
    fire.number = number;
    FireMessage back;
    EXPECT_FALSE(decode_message(encode_message(fire), back)) << number;
  }
  for (int32_t value : {-1, 256}) {
    TextMessage gone;
    gone.header.type = MSG_PROJECTILE_GONE;
    gone.value = value;
    TextMessage back;
    EXPECT_FALSE(decode_message(encode_message(gone), back)) << value;
  }
  TextMessage health;
  health.header.type = MSG_SET_HEALTH;
  health.value = -40;  // health may go below zero
  TextMessage back;
  EXPECT_TRUE(decode_message(encode_message(health), back));
}

TEST(WireRecords, TextWithoutTerminatorIsCut) {
  Bytes bytes = concat({le32(MSG_CHAT), le32(1), le32(2), Bytes(256, 'A'), le32(0)});
  TextMessage message;
  ASSERT_TRUE(decode_message(bytes, message));
  EXPECT_EQ(std::strlen(message.text), 255u);
}

// ---------------------------------------------------------------------------
// Handling

TEST(GameMessages, InvalidAndUnknownMessagesAreLogged) {
  auto game = make_player(1, true, "Hostess");
  struct Case {
    Bytes bytes;
    int result;
    const char* log;
  };
  FireMessage fire;
  fire.header = {MSG_FIRE, 0, 2};  // valid 0
  const Bytes short_fire = concat({le32(MSG_FIRE), le32(1), le32(2), le32(0)});
  const Bytes wild_gone = concat({le32(MSG_PROJECTILE_GONE), le32(1), le32(2), Bytes(256, 0), le32(300)});
  const Case cases[] = {
      {to_vector(encode_message(fire)), 0, "Found an invalid message."},
      {Bytes{5, 0, 0, 0, 1}, 0, "Found an invalid message."},
      {short_fire, 0, "Found an invalid message."},
      {wild_gone, 0, "Found an invalid message."},
      {concat({le32(4), le32(1), le32(2)}), 1, "Unknown message encountered."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(handle_game_message(*game, c.bytes, 2, 1), c.result);
    EXPECT_STREQ(game->log.entries[0].text, c.log);
    EXPECT_EQ(game->log.entries[0].category, LOG_ERROR);
    EXPECT_STREQ(game->log.entries[0].source, "ERROR");
  }
  EXPECT_EQ(game->world.projectile_next, 0);
  for (const Projectile& shot : game->world.projectile_table) EXPECT_EQ(shot.active, 0);
}

template <std::size_t N>
bool terminated(const char (&field)[N]) {
  return std::memchr(field, 0, N) != nullptr;
}

bool texts_terminated(const Game& game) {
  for (const PlayerSlot& slot : game.world.player_table)
    if (!terminated(slot.name)) return false;
  for (const LogEntry& entry : game.log.entries)
    if (!terminated(entry.text) || !terminated(entry.source)) return false;
  return true;
}

bool same_bytes(const auto& a, const auto& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Random bytes, shaped often enough like real messages (every type, valid 1,
// the connection's own player as sender, an unnumbered shell of its own,
// each layout's exact size) to reach every handler. On the host a refused
// message changes nothing, and an accepted one from player 2 touches only
// player 2's slot, the projectiles and the log; a client never numbers a
// shot or moves its own tank for a message; texts always end inside their
// fields. The sanitized run checks that nothing is read outside the message.
TEST(GameMessages, GarbageNeverReadsOutsideTheMessage) {
  auto host = make_player(1, true, "Hostess");
  auto client = make_player(2, false, "Guest");
  auto joins = make_player(2, false, "Guest");
  for (Game* game : {host.get(), client.get(), joins.get()}) {
    name_players(*game);
    game->world.tank.health = 100;
  }
  uint32_t seed = 1;
  auto random = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  std::map<int32_t, int> accepted;
  int refused = 0;
  for (int round = 0; round < 3000; ++round) {
    Bytes bytes(random() % 300);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    auto put = [&bytes](std::size_t offset, uint32_t value) {
      if (bytes.size() >= offset + 4) std::memcpy(bytes.data() + offset, &value, 4);
    };
    const int32_t type = round % 10;
    const MessageTableRow* row = find_message_type(type);
    if (row && random() % 2) bytes.resize(row->size);
    put(0, static_cast<uint32_t>(type));
    if (random() % 4) put(4, 1);
    if (random() % 2) put(8, 2);
    if (type == MSG_FIRE && random() % 2) {
      put(12, static_cast<uint32_t>(kUnnumberedShot));
      put(40, 0);
      put(48, 2);
    }

    const WorldState before = host->world;
    const int result = handle_game_message(*host, bytes, 2, 1);
    ASSERT_TRUE(result == 0 || result == 1) << round;
    if (bytes.size() < kMessageHeaderSize) {
      EXPECT_EQ(result, 0) << round;
    }
    if (result == 0) {
      ++refused;
      EXPECT_STREQ(host->log.entries[0].text, "Found an invalid message.") << round;
      EXPECT_TRUE(same_bytes(host->world, before)) << "a refused message changed the host's world, round " << round;
    } else {
      if (row) ++accepted[type];
      EXPECT_TRUE(same_bytes(host->world.tank, before.tank)) << round;
      for (std::size_t slot : {0, 2, 3, 4, 5, 6, 7})
        EXPECT_TRUE(same_bytes(host->world.player_table[slot], before.player_table[slot])) << slot << " " << round;
    }
    EXPECT_TRUE(std::isfinite(host->world.player_table[1].x) && std::isfinite(host->world.player_table[1].gun_pitch));

    const LocalTank tank = client->world.tank;
    handle_game_message(*client, bytes, DPID_SERVERPLAYER, 2);
    EXPECT_EQ(client->world.projectile_next, 0);
    EXPECT_TRUE(client->world.tank.x == tank.x && client->world.tank.y == tank.y && client->world.tank.z == tank.z);
    for (const PlayerSlot& slot : client->world.player_table) EXPECT_TRUE(std::isfinite(slot.x + slot.y + slot.z));

    handle_system_message(*joins, bytes);
    ASSERT_TRUE(texts_terminated(*host) && texts_terminated(*client) && texts_terminated(*joins)) << round;
  }
  // Every kind of outcome happened.
  EXPECT_GT(refused, 100);
  EXPECT_GT(accepted[MSG_STATUS], 0);
  EXPECT_GT(accepted[MSG_CHAT], 0);
  EXPECT_GT(accepted[MSG_FIRE], 0);
}

// Statuses travel apart from the notices of joins and departures, so one
// may come from a player not yet in the table, or from one that has left:
// it moves nobody's tank (the host's own in slot 0 least of all), brings
// nobody back, and the host does not relay it.
TEST(GameMessages, StatusFromAPlayerNotInTheTableChangesNothing) {
  for (bool host : {true, false}) {
    TestNetwork net;
    auto game = make_player(host ? 1 : 3, host, host ? "Hostess" : "Guest2");
    net.connect(*game);
    name_players(*game);
    game->world.player_table[1].active = 0;  // Guest, id 2, has left
    game->world.player_table[0].health = 100;
    const WorldState before = game->world;
    for (uint32_t sender : {77u, 2u}) {
      StatusMessage status;
      status.header = {MSG_STATUS, 1, sender};
      status.x = 4.0f;
      status.health = 30;
      status.in_play = 1;
      EXPECT_EQ(handle_game_message(*game, encode_message(status), host ? sender : 1, 1), 1);
    }
    EXPECT_EQ(std::memcmp(&before, &game->world, sizeof before), 0) << (host ? "host" : "client");
    EXPECT_EQ(net.calls, 0);
    EXPECT_STREQ(game->log.entries[0].text, "");
  }
}

TEST(GameMessages, WithoutNetworkingNothingIsSentOrReceived) {
  TestNetwork net;
  auto game = make_player(2, false, "Guest");
  game->settings.use_tcpip = 0;
  net.connect(*game);
  send_status(*game);
  send_event_text(*game, "nobody hears this");
  receive_messages(*game);
  EXPECT_EQ(net.calls, 0);
  for (const LogEntry& entry : game->log.entries) EXPECT_EQ(entry.text[0], 0);
}

TEST(GameMessages, AFailedClientSendIsLogged) {
  auto game = make_player(2, false, "Guest");  // networking on, no transport
  send_status(*game);
  EXPECT_STREQ(game->log.entries[0].text, "Status send failed.");
  EXPECT_EQ(game->log.entries[0].category, LOG_ERROR);
}

// A player may send the host its status, its chat lines and its own
// unnumbered shells; everything else it might forge is refused and touches
// nothing.
TEST(GameMessages, TheHostRefusesWhatAPlayerMayNotWrite) {
  auto game = make_player(1, true, "Hostess");
  name_players(*game);
  game->world.tank.health = 100;
  PlayerSlot& guest = game->world.player_table[1];
  guest.in_play = 1;
  guest.health = 100;
  const WorldState before = game->world;
  auto text = [](int32_t type, uint32_t sender, int32_t value) {
    TextMessage m;
    m.header = {type, 1, sender};
    std::strcpy(m.text, "Hostess was mashed by Guest");
    m.value = value;
    return to_vector(encode_message(m));
  };
  auto fire = [](uint32_t sender, int32_t number, uint32_t owner, int32_t hitscan, float x) {
    FireMessage m;
    m.header = {MSG_FIRE, 1, sender};
    m.number = number;
    m.owner_id = owner;
    m.hitscan = hitscan;
    m.x = x;
    return to_vector(encode_message(m));
  };
  StatusMessage status;
  status.header = {MSG_STATUS, 1, 2};
  status.y = std::numeric_limits<float>::quiet_NaN();
  const Bytes forged[] = {
      text(MSG_SET_HEALTH, 2, -500),        text(MSG_PROJECTILE_GONE, 2, 3),
      text(MSG_EVENT, 2, 0),                text(MSG_CHAT, 3, 0),  // another player's name
      fire(2, 7, 2, 0, 1.0f),               fire(2, -1, 1, 0, 1.0f),
      fire(2, -1, 2, 1, 1.0f),              fire(1, -1, 1, 0, 1.0f),
      fire(2, -1, 2, 0, std::numeric_limits<float>::infinity()),
      to_vector(encode_message(status)),
  };
  for (const Bytes& bytes : forged) {
    game->log = MessageLog{};
    EXPECT_EQ(handle_game_message(*game, bytes, 2, 1), 0);
    EXPECT_STREQ(game->log.entries[0].text, "Found an invalid message.");
  }
  EXPECT_EQ(std::memcmp(&before, &game->world, sizeof before), 0);

  // What a player may write still goes through.
  EXPECT_EQ(handle_game_message(*game, fire(2, -1, 2, 0, 1.0f), 2, 1), 1);
  EXPECT_EQ(game->world.projectile_table[0].active, 1);
  EXPECT_EQ(handle_game_message(*game, text(MSG_CHAT, 2, 0), 2, 1), 1);
  EXPECT_STREQ(game->log.entries[0].source, "Guest");

  // Only the host decides health: a status saying less or more changes
  // nothing of it (a player reporting 0 would be unhittable), and a tank
  // the host holds dead or out of play may not shoot.
  auto status_saying = [&](int32_t health, int32_t in_play) {
    StatusMessage m;
    m.header = {MSG_STATUS, 1, 2};
    m.health = health;
    m.in_play = in_play;
    m.has_life = true;
    return handle_game_message(*game, status_bytes(m), 2, 1);
  };
  guest.health = 50;
  status_saying(0, 1);
  EXPECT_EQ(guest.health, 50);
  EXPECT_EQ(guest.in_play, 1);
  status_saying(100, 1);
  EXPECT_EQ(guest.health, 50);
  guest.health = 0;
  game->log = MessageLog{};
  EXPECT_EQ(handle_game_message(*game, fire(2, -1, 2, 0, 1.0f), 2, 1), 0);
  EXPECT_STREQ(game->log.entries[0].text, "Found an invalid message.");
  guest.health = 100;
  status_saying(100, 0);
  EXPECT_EQ(handle_game_message(*game, fire(2, -1, 2, 0, 1.0f), 2, 1), 0);
  EXPECT_EQ(game->world.projectile_next, 1);
}

// ---------------------------------------------------------------------------
// A host and a client in one process

struct TwoPlayers {
  TestNetwork net;
  std::unique_ptr<Game> host = make_player(1, true, "Hostess");
  std::unique_ptr<Game> client = make_player(2, false, "Guest");
  TwoPlayers() {
    net.connect(*host);
    net.connect(*client);
    name_players(*host);
    name_players(*client);
  }
  void exchange() {
    receive_messages(*host);
    receive_messages(*client);
  }
  // The client's tank enters play, as the entry prompt has it, and the host
  // learns it from its status.
  void enter_client() {
    LocalTank& tank = client->world.tank;
    tank.in_play = 1;
    tank.health = 100;
    ++tank.life;
    send_status(*client);
    exchange();
  }
};

// A client's shot is guaranteed, and so is the status that began its life,
// which reaches the host before it: the host takes shots only from a tank
// it holds in play.
TEST(HostAndClient, TheHostNumbersEveryShot) {
  TwoPlayers game;
  game.enter_client();
  ASSERT_EQ(game.net.sent[0].type, MSG_STATUS);
  EXPECT_TRUE(game.net.sent[0].guaranteed);
  send_status(*game.client);
  EXPECT_FALSE(game.net.sent.back().guaranteed);
  game.client->world.tank.turret_heading = 90.0f;
  fire_shell(*game.client);
  EXPECT_TRUE(game.net.sent.back().guaranteed);
  EXPECT_EQ(game.client->world.projectile_table[0].active, 0);  // not before the host numbered it
  game.exchange();
  const Projectile& on_host = game.host->world.projectile_table[0];
  const Projectile& on_client = game.client->world.projectile_table[0];
  EXPECT_EQ(on_host.active, 1);
  EXPECT_EQ(on_client.active, 1);
  EXPECT_EQ(on_client.owner_id, 2u);
  EXPECT_FLOAT_EQ(on_client.x, on_host.x);
  EXPECT_FLOAT_EQ(on_client.heading, 90.0f);
  EXPECT_EQ(game.host->world.projectile_next, 1);
  EXPECT_EQ(game.client->world.projectile_next, 0);  // only the host counts

  fire_shell(*game.host);  // the host's own shot: numbered and relayed at once
  game.exchange();
  EXPECT_EQ(game.host->world.projectile_table[1].owner_id, 1u);
  EXPECT_EQ(game.client->world.projectile_table[1].active, 1);

  send_projectile_gone(*game.client, 0);  // a client cannot end a projectile
  send_projectile_gone(*game.host, 1);
  game.exchange();
  EXPECT_EQ(game.client->world.projectile_table[0].active, 1);
  EXPECT_EQ(game.host->world.projectile_table[1].active, 0);
  EXPECT_EQ(game.client->world.projectile_table[1].active, 0);
  for (const LogEntry& entry : game.host->log.entries) EXPECT_NE(entry.category, LOG_ERROR);
}

TEST(HostAndClient, StatusChatAndHealthTravelThroughTheHost) {
  TwoPlayers game;
  game.enter_client();
  game.net.sent.clear();
  game.client->world.tank.x = 3.0f;
  send_status(*game.client);
  TextMessage chat;
  chat.header = {MSG_CHAT, 1, 2};
  std::strcpy(chat.text, "hello all");
  send_to_host(*game.client, encode_message(chat));
  game.exchange();
  // Both programs see the client's tank and its line, the writer's own included.
  EXPECT_FLOAT_EQ(game.host->world.player_table[1].x, 3.0f);
  EXPECT_FLOAT_EQ(game.client->world.player_table[1].x, 3.0f);
  for (Game* player : {game.host.get(), game.client.get()}) {
    EXPECT_STREQ(player->log.entries[0].text, "hello all");
    EXPECT_STREQ(player->log.entries[0].source, "Guest");
    EXPECT_EQ(player->log.entries[0].category, LOG_CHAT);
  }

  send_damage(*game.host, 1, 50);
  EXPECT_EQ(game.host->world.player_table[1].health, 50);
  game.exchange();
  EXPECT_EQ(game.client->world.tank.health, 50);

  send_event_text(*game.host, "Guest was mashed by Hostess");
  game.exchange();
  for (Game* player : {game.host.get(), game.client.get()}) {
    EXPECT_STREQ(player->log.entries[0].text, "Guest was mashed by Hostess");
    EXPECT_STREQ(player->log.entries[0].source, "SYS");
    EXPECT_EQ(player->log.entries[0].category, LOG_EVENT);
  }

  // The host relays statuses unguaranteed (the next one supersedes a lost
  // one) and guarantees everything else: the relayed chat, the set-health
  // and the event. A client guarantees its chat line, and its status only
  // when it begins a life (not here).
  int host_sends = 0;
  for (const TestNetwork::Sent& sent : game.net.sent) {
    host_sends += sent.from == 1;
    EXPECT_EQ(sent.guaranteed, sent.type != MSG_STATUS) << "type " << sent.type << " from " << sent.from;
  }
  EXPECT_EQ(host_sends, 4);
}

TEST(HostAndClient, DamageToTheHostsOwnSlotSetsItsTank) {
  TwoPlayers game;
  game.host->world.tank.health = 100;
  game.host->world.player_table[0].health = 100;
  send_damage(*game.host, 0, 50);
  EXPECT_EQ(game.host->world.tank.health, 50);
  EXPECT_TRUE(game.net.queues[2].empty());
}

// A tank's lives as the host judges them, whatever was lost or came late.
// Two shells reach the client's tank in one frame of the host: the first
// takes 50, the second kills, and a third finds a dead tank and passes it
// by. The status the client had already sent (100, in play, where it
// stood) arrives next: the host's copy stays dead and out of play, one kill
// is announced, the next shell passes by too, and the dead tank may not
// shoot. The tank comes back only with a status of a newer life, wherever
// it stands and whether or not the host saw it out of play; a late status
// of the life it lost, even one at the very place of entering, never
// revives it; and one of an older life after a new one has begun is
// dropped, not relayed.
TEST(HostAndClient, OnlyANewLifeBringsADeadTankBack) {
  TwoPlayers game;
  Game& host = *game.host;
  LocalTank& tank = game.client->world.tank;
  const PlayerSlot& copy = host.world.player_table[1];
  game.enter_client();
  tank.x = 5.0f;
  tank.y = 1.0f;
  tank.z = 5.0f;
  send_status(*game.client);
  game.exchange();
  ASSERT_EQ(copy.health, 100);
  auto shells_at_the_tank = [&](int count) {
    for (int n = 0; n < count; ++n) {
      Projectile& shot = host.world.projectile_table[static_cast<std::size_t>(n)];
      shot = Projectile{};
      shot.active = 1;
      shot.x = tank.x;
      shot.y = tank.y - 0.5f;
      shot.z = tank.z;
      shot.owner_id = 1;
    }
    advance_projectiles(host, 1.0f);
  };
  auto kills_announced = [&] {
    int kills = 0;
    for (const LogEntry& entry : host.log.entries) kills += entry.category == LOG_EVENT;
    return kills;
  };
  auto kill = [&] {
    shells_at_the_tank(3);
    EXPECT_EQ(copy.health, 0);
    EXPECT_EQ(host.world.projectile_table[0].active, 0);
    EXPECT_EQ(host.world.projectile_table[1].active, 0);
    EXPECT_EQ(host.world.projectile_table[2].active, 1) << "a dead tank stopped a shell";
  };
  kill();
  EXPECT_EQ(kills_announced(), 1);
  send_status(*game.client);  // sent before the set-healths arrive
  game.exchange();
  EXPECT_EQ(copy.health, 0);
  EXPECT_EQ(copy.in_play, 0);
  EXPECT_EQ(game.client->world.player_table[1].in_play, 0);  // as relayed
  EXPECT_EQ(tank.health, 0);
  shells_at_the_tank(1);
  EXPECT_EQ(host.world.projectile_table[0].active, 1);
  EXPECT_EQ(copy.health, 0);
  EXPECT_EQ(kills_announced(), 1);
  tank.health = 100;  // a player that believes itself alive still may not shoot
  fire_shell(*game.client);
  game.exchange();
  EXPECT_EQ(host.world.projectile_next, 0);
  EXPECT_STREQ(host.log.entries[0].text, "Found an invalid message.");

  // A ghost no more: every status out of play was lost, and the tank
  // re-enters away from the entry point.
  game.enter_client();
  EXPECT_EQ(copy.health, 100);
  EXPECT_EQ(copy.in_play, 1);
  fire_shell(*game.client);
  game.exchange();
  EXPECT_EQ(host.world.projectile_next, 1);

  // Killed again; a late status of that life, in play with 100 at the place
  // of entering, does not revive it, so a further shell is not a second kill.
  kill();
  tank.x = tank.y = tank.z = 0.0f;
  tank.health = 100;
  send_status(*game.client);
  game.exchange();
  EXPECT_EQ(copy.health, 0);
  EXPECT_EQ(copy.in_play, 0);
  tank.x = tank.z = 5.0f;
  tank.y = 1.0f;
  shells_at_the_tank(3);
  EXPECT_EQ(kills_announced(), 2);

  // A status of the lost life that arrives after the next one has begun is
  // dropped: it neither moves the tank nor goes to the others.
  game.enter_client();
  StatusMessage late;
  late.header = {MSG_STATUS, 1, 2};
  late.x = 40.0f;
  late.in_play = 1;
  late.health = 100;
  late.has_life = true;
  late.life = tank.life - 1;
  const std::size_t sent = game.net.sent.size();
  EXPECT_EQ(handle_game_message(host, status_bytes(late), 2, 1), 1);
  EXPECT_FLOAT_EQ(copy.x, 5.0f);
  EXPECT_EQ(game.net.sent.size(), sent);
  EXPECT_EQ(copy.health, 100);
}

// A program that sends no life (a status of 44 bytes) re-enters only after
// reporting itself out of play since the host's last hit.
TEST(HostAndClient, AStatusWithoutALifeReEntersAfterReportingItselfOutOfPlay) {
  TwoPlayers game;
  Game& host = *game.host;
  const PlayerSlot& copy = host.world.player_table[1];
  auto older_status = [&](int32_t in_play, int32_t health) {
    StatusMessage m;
    m.header = {MSG_STATUS, 1, 2};
    m.in_play = in_play;
    m.health = health;
    handle_game_message(host, status_bytes(m), 2, 1);
  };
  older_status(1, 100);
  EXPECT_EQ(copy.health, 100);
  send_damage(host, 1, 50);
  send_damage(host, 1, 50);
  older_status(1, 100);
  EXPECT_EQ(copy.health, 0);
  EXPECT_EQ(copy.in_play, 0);
  older_status(0, 0);
  older_status(1, 100);
  EXPECT_EQ(copy.health, 100);
  EXPECT_EQ(copy.in_play, 1);
}

// A player who falls quiet (its window inactive, its program stalled) has
// the host's copy of its tank relayed once more, guaranteed, after about a
// tenth of a second, and again whenever the host changes that copy (a hit):
// every program sees what the host holds, however long the player stays
// quiet. A player who keeps sending is never resent.
TEST(HostAndClient, AQuietPlayersTankReachesEveryoneGuaranteed) {
  TwoPlayers game;
  Game& host = *game.host;
  game.enter_client();
  auto host_frame = [&](double ms) {
    host.world.frame_start_ms = ms;
    send_status(host);
    receive_messages(host);
    receive_messages(*game.client);
  };
  auto guaranteed_statuses_of_the_client = [&] {
    int count = 0;
    for (const TestNetwork::Sent& sent : game.net.sent) count += sent.from == 1 && sent.type == MSG_STATUS && sent.guaranteed;
    return count;
  };
  for (double ms = 1000; ms < 1500; ms += 12) {
    send_status(*game.client);
    host_frame(ms);
  }
  EXPECT_EQ(guaranteed_statuses_of_the_client(), 0);
  host_frame(1550);
  EXPECT_EQ(guaranteed_statuses_of_the_client(), 0);  // quiet for 62 ms only
  host_frame(1600);
  EXPECT_EQ(guaranteed_statuses_of_the_client(), 1);
  host_frame(2000);
  EXPECT_EQ(guaranteed_statuses_of_the_client(), 1);  // nothing new to say
  send_damage(host, 1, 50);
  host_frame(2012);
  EXPECT_EQ(guaranteed_statuses_of_the_client(), 2);
  EXPECT_EQ(game.client->world.player_table[1].health, 50);
  host_frame(3000);
  EXPECT_EQ(guaranteed_statuses_of_the_client(), 2);
}

// A player's request to fire that waited in the host's queue longer than a
// few frames is dropped, never numbered: neither created nor relayed. What
// the host numbered keeps its place on a client however long it waited,
// and so do chat lines on the host.
uint32_t g_waited_ms = 0;

TEST(HostAndClient, TheHostDropsFireRequestsThatWaitedTooLong) {
  TwoPlayers game;
  game.enter_client();
  for (Game* player : {game.host.get(), game.client.get()})
    player->protocol.transport.waited_ms = [](void*) { return g_waited_ms; };
  auto request_and_take = [&](uint32_t waited_ms) {
    fire_shell(*game.client);
    g_waited_ms = waited_ms;
    receive_messages(*game.host);
  };
  request_and_take(kStaleFireRequestMs + 1);
  request_and_take(20000);
  EXPECT_EQ(game.host->world.projectile_next, 0);
  EXPECT_EQ(game.host->world.projectile_table[0].active, 0);
  EXPECT_EQ(game.host->protocol.stale_fire_requests, 2u);
  EXPECT_TRUE(game.net.queues[2].empty()) << "a stale request was relayed";
  request_and_take(kStaleFireRequestMs);
  EXPECT_EQ(game.host->world.projectile_next, 1);
  EXPECT_EQ(game.host->protocol.stale_fire_requests, 2u);

  TextMessage chat;
  chat.header = {MSG_CHAT, 1, 2};
  std::strcpy(chat.text, "still here");
  send_to_host(*game.client, encode_message(chat));
  receive_messages(*game.host);
  EXPECT_STREQ(game.host->log.entries[0].text, "still here");
  // The client takes the numbered shot and the chat line long after.
  g_waited_ms = 20000;
  receive_messages(*game.client);
  EXPECT_EQ(game.client->world.projectile_table[0].active, 1);
  EXPECT_STREQ(game.client->log.entries[0].text, "still here");
  g_waited_ms = 0;
}

// ---------------------------------------------------------------------------
// System messages

Bytes created(uint32_t id, const std::string& name) {
  Bytes bytes = concat({le32(DPSYS_CREATEPLAYERORGROUP), le32(id)});
  bytes.insert(bytes.end(), name.begin(), name.end());
  return bytes;
}

TEST(SystemMessages, PlayersJoinAndLeave) {
  auto game = make_player(1, true, "Hostess");
  name_players(*game);
  handle_system_message(*game, created(9, std::string("Newcomer") + '\0' + "junk"));
  const PlayerSlot& slot = game->world.player_table[2];
  EXPECT_EQ(slot.active, 1);
  EXPECT_EQ(slot.player_id, 9u);
  EXPECT_STREQ(slot.name, "Newcomer");
  EXPECT_STREQ(game->log.entries[0].text, "Newcomer joined the game.");
  EXPECT_EQ(game->log.entries[0].category, LOG_NOTICE);

  handle_system_message(*game, concat({le32(DPSYS_DESTROYPLAYERORGROUP), le32(9)}));
  EXPECT_EQ(slot.active, 0);
  EXPECT_EQ(slot.player_id, 9u);  // name and id stay
  EXPECT_STREQ(game->log.entries[0].text, "Newcomer left the game.");
}

TEST(SystemMessages, LongNamesAreCutAndAFullTableReusesSlotZero) {
  auto game = make_player(1, true, "Hostess");
  for (PlayerSlot& slot : game->world.player_table) slot.active = 1;
  handle_system_message(*game, created(12, std::string(60, 'N')));  // no terminator at all
  EXPECT_EQ(game->world.player_table[0].player_id, 12u);
  EXPECT_EQ(std::string(game->world.player_table[0].name), std::string(39, 'N'));
}

// The host's departure ends networking at once: what was queued behind its
// notice (a relayed chat line, a shot, a health) is never handled, in that
// frame or later.
TEST(SystemMessages, HostLeavingEndsNetworking) {
  TestNetwork net;
  auto game = make_player(2, false, "Guest");
  name_players(*game);
  game->world.tank.health = 100;
  net.connect(*game);
  TextMessage chat;
  chat.header = {MSG_CHAT, 1, 1};
  std::strcpy(chat.text, "before the host went");
  auto& queue = net.queues[2];
  queue.push_back({DPID_SERVERPLAYER, 2, to_vector(encode_message(chat))});
  queue.push_back({DPID_SYSMSG, 2, le32(DPSYS_HOST)});
  std::strcpy(chat.text, "after the host went");
  queue.push_back({DPID_SERVERPLAYER, 2, to_vector(encode_message(chat))});
  FireMessage fire;
  fire.header = {MSG_FIRE, 1, 1};
  fire.number = 4;
  queue.push_back({DPID_SERVERPLAYER, 2, to_vector(encode_message(fire))});
  TextMessage health;
  health.header = {MSG_SET_HEALTH, 1, 1};
  health.value = 10;
  queue.push_back({DPID_SERVERPLAYER, 2, to_vector(encode_message(health))});
  for (int frame = 0; frame < 2; ++frame) receive_messages(*game);
  EXPECT_STREQ(game->log.entries[0].text, "All remote players lost!");
  EXPECT_STREQ(game->log.entries[1].text, "The host has disconnected...");
  EXPECT_STREQ(game->log.entries[2].text, "before the host went");
  for (const LogEntry& entry : game->log.entries) EXPECT_STRNE(entry.text, "after the host went");
  EXPECT_EQ(game->world.projectile_table[4].active, 0);
  EXPECT_EQ(game->world.tank.health, 100);
  EXPECT_FALSE(networking_on(game->settings));
  EXPECT_EQ(game->settings.is_host, 1);
  handle_system_message(*game, le32(0x77));
  EXPECT_STREQ(game->log.entries[0].text, "Found an unidentified message.");
  handle_system_message(*game, Bytes{3, 0, 0, 0, 1});  // creation without a whole id
  EXPECT_STREQ(game->log.entries[0].text, "Found an unidentified message.");
}


// ---------------------------------------------------------------------------
// Text on the screen and on the terminal

// DEL (127) from another program is shown as '?' wherever text from the
// network reaches the screen or the terminal, as every other control code
// is: in a name, a chat line and an event. The terminal echo counts a run of
// equal lines and says, when the run ends, how many more times its line
// came: that run's repeats only.
TEST(ShownText, DeleteIsAQuestionMarkAndTheEchoCountsEachRunOfRepeats) {
  TwoPlayers game;
  game.client->log.echo = true;
  testing::internal::CaptureStdout();
  handle_system_message(*game.host, created(3, "Ro\x7f" "bert"));
  EXPECT_STREQ(game.host->world.player_table[2].name, "Ro?bert");
  EXPECT_STREQ(game.host->log.entries[0].text, "Ro?bert joined the game.");

  TextMessage chat;
  chat.header = {MSG_CHAT, 1, 2};
  std::strcpy(chat.text, "gg\x7f\x7f");
  send_to_host(*game.client, encode_message(chat));
  game.exchange();
  send_event_text(*game.host, "Guest was \x7fmashed");
  game.exchange();
  game.exchange();
  for (Game* player : {game.host.get(), game.client.get()}) {
    EXPECT_STREQ(player->log.entries[1].text, "gg??");
    EXPECT_STREQ(player->log.entries[0].text, "Guest was ?mashed");
  }

  for (const char* line : {"one", "one", "one", "two", "two", "one", "three"})
    add_log_entry(game.client->log, LOG_NOTICE, line, "SYS");
  const std::string echoed = testing::internal::GetCapturedStdout();
  game.client->log.echo = false;
  EXPECT_EQ(echoed.find('\x7f'), std::string::npos) << echoed;
  EXPECT_EQ(echoed,
            "Guest: gg??\n"
            "SYS: Guest was ?mashed\n"
            "SYS: one\n"
            "(the line above was repeated 2 more times)\n"
            "SYS: two\n"
            "(the line above was repeated 1 more times)\n"
            "SYS: one\n"
            "SYS: three\n");
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// Names and texts from other players on this player's terminal

std::string filtered(std::string text) {
  replace_control_characters(text.data());
  return std::string(text.c_str());
}

TEST(SystemMessages, NoPeerPutsAControlSequenceOnATerminal) {
  // C0 and C1 codes and bytes that are not UTF-8 become '?'; UTF-8
  // characters stay, however many bytes they take.
  EXPECT_EQ(filtered("Zo\xC3\xAB"), "Zo\xC3\xAB");
  EXPECT_EQ(filtered("\xE2\x82\xAC \xF0\x9F\x98\x80 \xC2\xA0\xC2\xBF"), "\xE2\x82\xAC \xF0\x9F\x98\x80 \xC2\xA0\xC2\xBF");
  EXPECT_EQ(filtered("\xC2\x9B" "2J\xC2\x80\xC2\x9F" "a"), "?2J??a");
  EXPECT_EQ(filtered("\x9B" "31m\x85\xFF\xC3"), "?31m???");       // raw bytes, a cut character
  EXPECT_EQ(filtered("\xC0\x9B\xE0\x82\x9B\xED\xA0\x80\xF4\x90\x80\x80"), "????????????");  // overlong, surrogate, too high
  EXPECT_EQ(filtered("\xE2\x82" "x\x1b\x7f"), "??x??");

  auto game = make_player(2, false, "Guest");
  name_players(*game);
  game->log.echo = true;
  testing::internal::CaptureStdout();
  handle_system_message(*game, created(9, "\xC2\x9B" "2JEve"));
  handle_system_message(*game, created(10, "Zo\xC3\xAB"));
  TextMessage chat;
  chat.header = {MSG_CHAT, 1, 10};
  std::strcpy(chat.text, "hi \x9B" "1m\xC2\x9D" "0;title\x07 Zo\xC3\xAB");
  handle_game_message(*game, encode_message(chat), DPID_SERVERPLAYER, 2);  // relayed
  const std::string echoed = testing::internal::GetCapturedStdout();
  game->log.echo = false;
  EXPECT_STREQ(game->world.player_table[2].name, "?2JEve");
  EXPECT_STREQ(game->world.player_table[3].name, "Zo\xC3\xAB");
  EXPECT_EQ(echoed, "SYS: ?2JEve joined the game.\nSYS: Zo\xC3\xAB joined the game.\n"
                    "Zo\xC3\xAB: hi ?1m?0;title? Zo\xC3\xAB\n");
}

// A full queue may lose a player's creation; its destruction then names a
// player in no slot, and changes nothing, least of all the host's own slot.
// A creation whose player is already in the table renews that slot.
TEST(SystemMessages, LostNoticesLeaveThePlayerTableRight) {
  auto game = make_player(1, true, "Hostess");
  name_players(*game);
  handle_system_message(*game, concat({le32(DPSYS_DESTROYPLAYERORGROUP), le32(9)}));
  handle_system_message(*game, concat({le32(DPSYS_DESTROYPLAYERORGROUP), le32(0)}));
  EXPECT_EQ(game->world.player_table[0].active, 1);
  EXPECT_EQ(game->world.player_table[1].active, 1);
  for (const LogEntry& entry : game->log.entries) EXPECT_EQ(entry.text[0], '\0');

  handle_system_message(*game, created(2, "Guest"));  // its departure was lost
  EXPECT_EQ(game->world.player_table[1].player_id, 2u);
  EXPECT_EQ(game->world.player_table[2].active, 0);
  handle_system_message(*game, concat({le32(DPSYS_DESTROYPLAYERORGROUP), le32(2)}));
  handle_system_message(*game, concat({le32(DPSYS_DESTROYPLAYERORGROUP), le32(2)}));  // once more
  EXPECT_EQ(game->world.player_table[1].active, 0);
  EXPECT_EQ(game->world.player_table[0].active, 1);
  EXPECT_STREQ(game->log.entries[0].text, "Guest left the game.");
  EXPECT_STREQ(game->log.entries[1].text, "Guest joined the game.");
}

}  // namespace
