// The session layer's own packets, and a peer that speaks them badly.
#include <enet/enet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/session.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace platform;

TEST(SessionPackets, RoundTripsAndRefusesDamagedBytes) {
  DiscoveryReply reply;
  reply.instance = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  reply.current_players = 3;
  reply.max_players = 8;
  reply.game_port = kGamePort;
  std::memset(reply.session_name, 'n', sizeof reply.session_name);  // no terminator
  const auto bytes = encode_discovery_reply(reply);
  DiscoveryReply back;
  ASSERT_TRUE(decode_discovery_reply(bytes, back));
  EXPECT_EQ(back.instance, reply.instance);
  EXPECT_EQ(std::strlen(back.session_name), kSessionNameSize - 1);
  EXPECT_TRUE(decode_discovery_query(encode_discovery_query()));

  WelcomePacket welcome;
  welcome.player_id = 5;
  welcome.player_count = 2;
  welcome.players[1].id = 5;
  std::strcpy(welcome.players[1].name, "Ann");
  Bytes packet(kWelcomePacketMax);
  packet.resize(encode_welcome(welcome, packet));
  WelcomePacket decoded;
  ASSERT_TRUE(decode_welcome(packet, decoded));
  EXPECT_STREQ(decoded.players[1].name, "Ann");

  // Every shorter prefix, a wrong magic, a wrong version or an impossible
  // count is refused.
  for (std::size_t n = 0; n < bytes.size(); ++n) EXPECT_FALSE(decode_discovery_reply({bytes.data(), n}, back));
  for (std::size_t n = 0; n < packet.size(); ++n) EXPECT_FALSE(decode_welcome({packet.data(), n}, decoded));
  Bytes wrong(bytes.begin(), bytes.end());
  wrong[4] = 99;
  EXPECT_FALSE(decode_discovery_reply(wrong, back));
  packet[5] = 9;  // nine players
  EXPECT_FALSE(decode_welcome(packet, decoded));
  char name[kPlayerNameSize];
  EXPECT_FALSE(decode_create_player(Bytes{4}, name));  // an empty name
  const Bytes long_name = [] { Bytes b(200, 'x'); b[0] = 4; return b; }();
  ASSERT_TRUE(decode_create_player(long_name, name));
  EXPECT_EQ(std::strlen(name), kPlayerNameSize - 1);
  std::span<const uint8_t> message;
  EXPECT_FALSE(decode_framed(Bytes(2 + kMaxSessionMessage, 7), message));
  EXPECT_FALSE(decode_framed(Bytes{7, 1, 2}, message));
}

// A raw ENet peer that never joins properly: nothing it sends becomes a
// player or a message, and a join for another session is refused.
TEST(SessionLayer, AHostIgnoresAPeerThatBreaksTheHandshake) {
  const uint16_t port = static_cast<uint16_t>(21000 + (getpid() % 5000) * 4);
  PeerSession* host = create_peer_session({port, static_cast<uint16_t>(port + 1), 0});
  ASSERT_NE(host, nullptr);
  ASSERT_TRUE(initialize_internet(host, ""));
  ASSERT_TRUE(open_new_session(host, "Hostess's game", 8));
  uint32_t id = 0;
  ASSERT_TRUE(create_local_player(host, "Hostess", true, id));

  ENetHost* raw = enet_host_create(nullptr, 1, 1, 0, 0);
  ENetAddress address{};
  enet_address_set_host(&address, "127.0.0.1");
  address.port = port;
  ENetPeer* peer = enet_host_connect(raw, &address, 1, 0);
  ENetEvent event;
  auto pump = [&](int rounds) {
    Bytes refusal;
    for (int n = 0; n < rounds; ++n) {
      keep_alive(host);
      while (enet_host_service(raw, &event, 1) > 0)
        if (event.type == ENET_EVENT_TYPE_RECEIVE) {
          refusal.assign(event.packet->data, event.packet->data + event.packet->dataLength);
          enet_packet_destroy(event.packet);
        }
    }
    return refusal;
  };
  pump(50);
  ASSERT_EQ(peer->state, ENET_PEER_STATE_CONNECTED);
  const Bytes junk[] = {{}, {0}, {99, 1, 2}, {7, 3, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0},  // a game message
                        {4, 'E', 'v', 'e'}, {6, 3, 0, 0, 0}, Bytes(4000, 7)};
  for (const Bytes& bytes : junk) {
    ENetPacket* packet = enet_packet_create(bytes.data(), bytes.size(), ENET_PACKET_FLAG_RELIABLE);
    enet_peer_send(peer, 0, packet);
  }
  pump(50);
  EXPECT_EQ(message_count(host, id), 0u);
  int players = 0;
  enum_players(host, [](void* count, uint32_t, const char*) { return ++*static_cast<int*>(count), true; },
               &players);
  EXPECT_EQ(players, 1);

  Bytes join(kJoinPacketSize);
  encode_join(SessionInstance{}, join);  // not this session's instance
  enet_peer_send(peer, 0, enet_packet_create(join.data(), join.size(), ENET_PACKET_FLAG_RELIABLE));
  const Bytes refusal = pump(50);
  char reason[kRefusalTextSize];
  ASSERT_TRUE(decode_refuse(refusal, reason));
  EXPECT_STREQ(reason, "That game has ended; list the games again.");

  enet_host_destroy(raw);
  release_peer_session(host);
}

}  // namespace
