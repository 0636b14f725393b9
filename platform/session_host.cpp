// The host's side of the session: who may join and take a seat, the
// players' messages onto the ring, departures told to everyone, idle
// connections dropped, and the game listed.
#include <enet/enet.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>

#include "platform/discovery.h"
#include "platform/peer_session.h"

namespace platform {

namespace {

void send_system_to_others(PeerSession& s, uint32_t type, uint32_t player_id, const char* name) {
  std::array<uint8_t, kSystemMessageMax> message{};
  const std::size_t size = encode_system_message(type, player_id, name, message);
  std::array<uint8_t, 1 + kSystemMessageMax> packet{};
  broadcast_packet(s, player_id, {packet.data(), encode_framed(PacketKind::System, {message.data(), size}, packet)},
                   true);
}

// The reason goes first; the disconnection follows once it has arrived.
void refuse(PeerSession& s, ENetPeer* peer, const char* reason) {
  std::array<uint8_t, 1 + kRefusalTextSize> packet{};
  send_packet(s, peer, {packet.data(), encode_refuse(reason, packet)}, true);
  enet_peer_disconnect_later(peer, 0);
  info_of(s, peer) = PeerInfo{PeerStage::Leaving, 0, Clock::now()};
}

int32_t places_taken(PeerSession& s) {
  int32_t taken = s.player_count;
  for (std::size_t i = 0; i < s.host->peerCount; ++i)
    if (s.host->peers[i].state == ENET_PEER_STATE_CONNECTED && s.peers[i].stage == PeerStage::Joined)
      ++taken;
  return taken;
}

// Drops the first player whose seat yields, as a departure (announced to
// everyone; its own program sees the host go). False when there is none.
bool free_yielding_seat(PeerSession& s) {
  for (std::size_t i = 0; i < s.host->peerCount; ++i) {
    ENetPeer* peer = &s.host->peers[i];
    const PeerInfo& info = s.peers[i];
    if (peer->state != ENET_PEER_STATE_CONNECTED || info.stage != PeerStage::Player || !info.yields) continue;
    host_disconnected(s, peer);
    enet_peer_disconnect(peer, 0);
    s.peers[i] = PeerInfo{PeerStage::Leaving, 0, Clock::now()};
    return true;
  }
  return false;
}

void host_join(PeerSession& s, ENetPeer* peer, std::span<const uint8_t> packet) {
  SessionInstance instance{};
  switch (check_join(packet, instance)) {
    case JoinCheck::Ok:
      break;
    case JoinCheck::WrongMagic:
      return refuse(s, peer, "This is not a request to join a Morvane game.");
    case JoinCheck::OtherVersion:
      return refuse(s, peer, "This program speaks another version of the game.");
    case JoinCheck::WrongSize:
      return refuse(s, peer, "The request to join has the wrong length.");
  }
  if (instance != s.description.instance)
    return refuse(s, peer, "That game has ended; list the games again.");
  if (places_taken(s) >= s.places && !free_yielding_seat(s))
    return refuse(s, peer, "The game is full: it has 8 players.");
  info_of(s, peer) = PeerInfo{PeerStage::Joined, 0, Clock::now()};
  std::array<uint8_t, 1> accept{};
  send_packet(s, peer, {accept.data(), encode_accept(accept)}, true);
}

void host_create_player(PeerSession& s, ENetPeer* peer, std::span<const uint8_t> packet) {
  char name[kPlayerNameSize];
  if (!decode_create_player(packet, name)) return complain(s.malformed);
  const uint32_t id = s.next_player_id++;
  add_player(s, id, name);
  PeerInfo& info = info_of(s, peer);
  info.stage = PeerStage::Player;
  info.player_id = id;
  WelcomePacket welcome;
  welcome.player_id = id;
  welcome.player_count = static_cast<uint8_t>(seats_in_use(s));
  welcome.players = s.seats;
  std::array<uint8_t, kWelcomePacketMax> bytes{};
  send_packet(s, peer, {bytes.data(), encode_welcome(welcome, bytes)}, true);
  push_system(s, kSystemCreatePlayer, id, name);
  send_system_to_others(s, kSystemCreatePlayer, id, name);
}



std::chrono::milliseconds allowed_time(PeerStage stage) {
  switch (stage) {
    case PeerStage::Connected:
      return std::chrono::milliseconds(kJoinRequestWaitMs);
    case PeerStage::Joined:
      return std::chrono::milliseconds(kCreatePlayerWaitMs);
    default:
      return std::chrono::milliseconds(kDropGraceMs);
  }
}

SessionInstance random_instance() {
  std::random_device random;
  SessionInstance instance{};
  for (std::size_t i = 0; i < instance.size(); i += 4) {
    const uint32_t value = random();
    std::memcpy(&instance[i], &value, 4);
  }
  return instance;
}

}  // namespace

void host_receive(PeerSession& s, ENetPeer* peer, std::span<const uint8_t> packet) {
  PacketKind kind;
  PeerInfo& info = info_of(s, peer);
  std::span<const uint8_t> message;
  if (info.stage == PeerStage::Leaving) return;  // what it still had on the way
  if (!packet_kind(packet, kind)) return complain(s.malformed);
  if (kind == PacketKind::Join && info.stage == PeerStage::Connected) return host_join(s, peer, packet);
  if (kind == PacketKind::CreatePlayer && info.stage == PeerStage::Joined)
    return host_create_player(s, peer, packet);
  if (kind == PacketKind::Game && info.stage == PeerStage::Player && decode_framed(packet, message)) {
    push_message(s, info.player_id, s.local_player_id, message);
    return;
  }
  complain(s.malformed);
}

void host_disconnected(PeerSession& s, ENetPeer* peer) {
  PeerInfo& info = info_of(s, peer);
  if (info.stage == PeerStage::Player) {
    const SessionPlayer* player = find_player(s, info.player_id);
    char name[kPlayerNameSize] = {};
    if (player) std::memcpy(name, player->name, sizeof name);
    remove_player(s, info.player_id);
    push_system(s, kSystemDestroyPlayer, info.player_id, nullptr);
    send_system_to_others(s, kSystemDestroyPlayer, info.player_id, name);
  }
  info = PeerInfo{};
}

// Every connection that is not a player is on a clock: ENet's handshake and
// then the join request each within kJoinRequestWaitMs, the player within
// kCreatePlayerWaitMs of the acceptance. One that overstays is disconnected,
// so that the other side learns it at once, and forgotten if it does not
// acknowledge within kDropGraceMs; one whose handshake never finishes is
// forgotten at once. So idle and half-open connections never hold the
// host's places for long.
void drop_idle_peers(PeerSession& s) {
  const auto now = Clock::now();
  for (std::size_t i = 0; i < s.host->peerCount; ++i) {
    ENetPeer* peer = &s.host->peers[i];
    PeerInfo& info = s.peers[i];
    if (info.stage == PeerStage::Player) continue;
    if (peer->state == ENET_PEER_STATE_DISCONNECTED) {
      info = PeerInfo{};
    } else if (info.since == Clock::time_point{}) {
      info.since = now;  // first seen in its handshake
    } else if (now - info.since > allowed_time(info.stage)) {
      if (peer->state == ENET_PEER_STATE_CONNECTED) {
        enet_peer_disconnect(peer, 0);
        info = PeerInfo{PeerStage::Leaving, 0, now};
      } else {
        enet_peer_reset(peer);
        info = PeerInfo{};
      }
    }
  }
}

int32_t yielding_players(const PeerSession& s) {
  int32_t yielding = 0;
  for (std::size_t i = 0; i < s.host->peerCount; ++i)
    yielding += s.host->peers[i].state == ENET_PEER_STATE_CONNECTED && s.peers[i].stage == PeerStage::Player &&
                s.peers[i].yields;
  return yielding;
}

void describe_players(PeerSession& s) {
  const int32_t idle = s.host_seat_idle && s.player_count > 0 ? 1 : 0;
  s.description.current_players = static_cast<uint8_t>(s.player_count - idle);
  s.description.max_players = static_cast<uint8_t>(s.places - (s.host_seat_idle ? 1 : 0));
  s.description.computer_players = static_cast<uint8_t>(yielding_players(s));
}

// The host's part of every service: connections that never became players
// are dropped, and the listing's queries answered.
void host_service(PeerSession& s) {
  drop_idle_peers(s);
  describe_players(s);
  const uint32_t rejected = answer_queries(s.listener, s.description);
  if (rejected > 0) complain(s.malformed, rejected);
}

// The host's own player is the server player, in the first seat.
void take_server_seat(PeerSession& s, const char* name) {
  s.local_player_id = kServerPlayerId;
  add_player(s, kServerPlayerId, name);
}

bool open_new_session(PeerSession* session, const char* session_name, int32_t max_players) {
  if (!session || !session->connection_chosen || session->mode != Mode::Idle) return false;
  PeerSession& s = *session;
  ENetAddress address{};
  address.host = ENET_HOST_ANY;
  address.port = s.ports.game;
  s.host = enet_host_create(&address, kMaxPeers, kChannelCount, 0, 0);
  if (!s.host) {
    std::fprintf(stderr, "Morvane: cannot host a game: UDP port %u is in use\n", s.ports.game);
    return false;
  }
  answer_on_game_port(s);
  s.listener = open_discovery_listener(s.ports.discovery);
  if (s.listener == ENET_SOCKET_NULL)
    std::fprintf(stderr, "Morvane: UDP port %u is in use: this game will not be listed\n",
                 s.ports.discovery);
  s.mode = Mode::Host;
  s.description = DiscoveryReply{};
  s.description.instance = random_instance();
  s.places = max_players > 0 && max_players <= kSessionMaxPlayers ? max_players : kSessionMaxPlayers;
  s.host_seat_idle = false;
  describe_players(s);
  s.description.game_port = s.ports.game;
  std::snprintf(s.description.session_name, kSessionNameSize, "%s", session_name ? session_name : "");
  return true;
}

bool set_seat_yields(PeerSession* session, uint32_t player_id, bool yields) {
  if (!session || session->mode != Mode::Host || player_id == 0) return false;
  for (std::size_t i = 0; i < session->host->peerCount; ++i) {
    PeerInfo& info = session->peers[i];
    if (info.stage != PeerStage::Player || info.player_id != player_id) continue;
    info.yields = yields;
    return true;
  }
  return false;
}

int32_t seats_taken(PeerSession* session) {
  return session && session->mode == Mode::Host ? places_taken(*session) : 0;
}

void list_without_host_seat(PeerSession* session) {
  if (!session || session->mode != Mode::Host) return;
  session->host_seat_idle = true;
  describe_players(*session);
}

SessionInstance hosted_instance(const PeerSession* session) {
  return session && session->mode == Mode::Host ? session->description.instance : SessionInstance{};
}

bool answers_listings(const PeerSession* session) {
  return session && session->mode == Mode::Host && session->listener != ENET_SOCKET_NULL;
}

uint32_t round_trip_ms(const PeerSession* session, uint32_t player_id) {
  if (!session || session->mode != Mode::Host || !session->host || player_id == session->local_player_id)
    return 0;
  for (std::size_t i = 0; i < session->host->peerCount; ++i) {
    const ENetPeer& peer = session->host->peers[i];
    const PeerInfo& info = session->peers[i];
    if (peer.state == ENET_PEER_STATE_CONNECTED && info.stage == PeerStage::Player &&
        info.player_id == player_id)
      return peer.roundTripTime;
  }
  return 0;
}

}  // namespace platform
