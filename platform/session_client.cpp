// The client's side of the session: joining a listed game, the host's
// answers, and the host's departure.
#include <enet/enet.h>

#include <cstdio>

#include "platform/peer_session.h"

namespace platform {

void client_receive(PeerSession& s, std::span<const uint8_t> packet, uint8_t channel) {
  PacketKind kind;
  std::span<const uint8_t> message;
  if (!packet_kind(packet, kind)) return complain(s.malformed);
  switch (kind) {
    case PacketKind::Accept:
      if (s.join == JoinStage::Connected) s.join = JoinStage::Accepted;
      return;
    case PacketKind::Refuse:
      if (s.join == JoinStage::Connected && decode_refuse(packet, s.refusal)) s.join = JoinStage::Refused;
      return;
    case PacketKind::Welcome:
      if (s.join == JoinStage::Accepted && decode_welcome(packet, s.welcome)) s.join = JoinStage::Welcomed;
      return;
    case PacketKind::System:
    case PacketKind::Game:
      if (s.join == JoinStage::Welcomed && decode_framed(packet, message)) {
        push_message(s, kind == PacketKind::System ? kSystemSender : kServerPlayerId, s.local_player_id,
                     message);
        return;
      }
      // The host relays to a player from the moment it sends the Welcome,
      // so a status relayed on a channel of its own may overtake a Welcome
      // that had to be sent again: it is simply not seen, as if lost.
      if (kind == PacketKind::Game && channel != kOrderedChannel && s.join == JoinStage::Accepted) return;
      break;
    default:
      break;
  }
  complain(s.malformed);
}

void client_disconnected(PeerSession& s) {
  s.server = nullptr;
  if (s.join == JoinStage::Welcomed) {
    // The host has gone: the game goes on without it.
    push_system(s, kSystemHost, 0, nullptr);
  }
  s.join = JoinStage::Failed;
}

// Asks the host for the local player and takes the seats of the welcome.
bool client_create_player(PeerSession& s, const char* name) {
  std::array<uint8_t, 1 + kPlayerNameSize> packet{};
  send_packet(s, s.server, {packet.data(), encode_create_player(name, packet)}, true);
  if (!wait_while(s, JoinStage::Accepted, kJoinTimeoutMs) || s.join != JoinStage::Welcomed) {
    std::snprintf(s.failure, sizeof s.failure, "The host did not take the new player.");
    return false;
  }
  s.local_player_id = s.welcome.player_id;
  s.seats.fill(SessionPlayer{});
  s.player_count = 0;
  for (uint8_t i = 0; i < s.welcome.player_count; ++i) {
    const SessionPlayer& player = s.welcome.players[i];
    if (player.id != 0 && !find_player(s, player.id)) take_seat(s, s.seats[i], player.id, player.name);
  }
  return true;
}

namespace {

bool join_at(PeerSession& s, const ENetAddress& address, const SessionInstance& instance) {
  s.host = enet_host_create(nullptr, 1, kChannelCount, 0, 0);
  if (!s.host) return false;
  s.mode = Mode::Client;
  s.join = JoinStage::Connecting;
  s.server = enet_host_connect(s.host, &address, kChannelCount, 0);
  if (s.server && wait_while(s, JoinStage::Connecting, kJoinTimeoutMs) && s.join == JoinStage::Connected) {
    std::array<uint8_t, kJoinPacketSize> join{};
    send_packet(s, s.server, {join.data(), encode_join(instance, join)}, true);
    wait_while(s, JoinStage::Connected, kJoinTimeoutMs);
  }
  if (s.join == JoinStage::Accepted) return true;
  if (s.join == JoinStage::Refused)
    std::snprintf(s.failure, sizeof s.failure, "%s", s.refusal);
  else
    std::snprintf(s.failure, sizeof s.failure, "The game did not answer.");
  std::fprintf(stderr, "Morvane: could not join: %s\n", s.failure);
  close_session(&s);
  return false;
}

}  // namespace

bool open_listed_session(PeerSession* session, const SessionInstance& instance) {
  if (!session || session->mode != Mode::Idle) return false;
  PeerSession& s = *session;
  const FoundSession* target = nullptr;
  for (int32_t i = 0; i < s.found_count; ++i)
    if (s.found[static_cast<std::size_t>(i)].instance == instance) target = &s.found[static_cast<std::size_t>(i)];
  if (!target) return false;
  return join_at(s, target->address, instance);
}

bool open_session_at(PeerSession* session, uint32_t host, uint16_t port, const SessionInstance& instance) {
  if (!session || session->mode != Mode::Idle || host == 0 || port == 0) return false;
  ENetAddress address{};
  address.host = host;
  address.port = port;
  return join_at(*session, address, instance);
}

}  // namespace platform
