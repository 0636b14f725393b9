#include "platform/session.h"

#include <enet/enet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/peer_session.h"
#include "platform/text.h"

namespace platform {

namespace {

// ENet needs one start and one stop per process, whatever the number of
// sessions (a test runs several in one process).
std::atomic<int> g_enet_users{0};

}  // namespace

void complain(Complaint& complaint, uint32_t times) {
  complaint.count += times;
  const auto now = Clock::now();
  if (complaint.last != Clock::time_point{} && now - complaint.last < std::chrono::seconds(1)) return;
  std::fprintf(stderr, "Morvane: %s (%u)\n", complaint.text, complaint.count);
  complaint.count = 0;
  complaint.last = now;
}

// ---------------------------------------------------------------------------
// The message queue

namespace {

uint32_t le32_at(std::span<const uint8_t> bytes, std::size_t offset) {
  return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<uint32_t>(bytes[offset + 2]) << 16 | static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

bool is_game_status(std::span<const uint8_t> bytes) {
  return bytes.size() >= kGameHeaderSize && le32_at(bytes, 0) == kGameStatusType;
}

// The seat of a status's writer, or -1 for any other message.
int status_seat(PeerSession& s, std::span<const uint8_t> bytes) {
  if (!is_game_status(bytes)) return -1;
  const SessionPlayer* writer = find_player(s, le32_at(bytes, 8));
  return writer ? static_cast<int>(writer - s.seats.data()) : -1;
}

uint64_t oldest_waiting(const PeerSession& s) { return s.queued_total - s.queue_count; }

// The writer's status still waiting in the ring, if any.
QueuedStatus* waiting_status(PeerSession& s, uint32_t from, uint32_t writer) {
  for (QueuedStatus& status : s.statuses)
    if (status.used && status.sequence >= oldest_waiting(s) && status.from == from && status.writer == writer)
      return &status;
  return nullptr;
}

void remember_status(PeerSession& s, uint32_t from, uint32_t writer, uint64_t sequence) {
  for (QueuedStatus& status : s.statuses) {
    if (!status.used || status.sequence < oldest_waiting(s)) {
      status = QueuedStatus{from, writer, sequence, true};
      return;
    }
  }
}

void store(QueuedMessage& slot, uint32_t from, uint32_t to, std::span<const uint8_t> bytes) {
  slot.from = from;
  slot.to = to;
  slot.arrived = Clock::now();
  slot.size = bytes.size();
  std::memcpy(slot.bytes.data(), bytes.data(), bytes.size());
}

}  // namespace

bool push_message(PeerSession& s, uint32_t from, uint32_t to, std::span<const uint8_t> bytes) {
  if (bytes.size() > kMaxSessionMessage) {
    complain(s.dropped);
    return false;
  }
  const bool system = from == kSystemSender;
  const bool status = !system && is_game_status(bytes);
  const uint32_t writer = status ? le32_at(bytes, 8) : 0;
  if (status) {
    if (const QueuedStatus* older = waiting_status(s, from, writer)) {
      store((*s.queue)[older->sequence % kMessageQueueCapacity], from, to, bytes);
      return true;
    }
  }
  const std::size_t limit = system ? kMessageQueueCapacity : kMessageQueueCapacity - kSystemMessageReserve;
  if (s.queue_count >= limit) {
    complain(s.dropped);
    return false;
  }
  const uint64_t sequence = s.queued_total++;
  store((*s.queue)[sequence % kMessageQueueCapacity], from, to, bytes);
  ++s.queue_count;
  if (status) remember_status(s, from, writer, sequence);
  return true;
}

void push_system(PeerSession& s, uint32_t type, uint32_t player_id, const char* name) {
  std::array<uint8_t, kSystemMessageMax> bytes{};
  const std::size_t size = encode_system_message(type, player_id, name, bytes);
  push_message(s, kSystemSender, s.local_player_id, {bytes.data(), size});
}

// ---------------------------------------------------------------------------
// Players

SessionPlayer* find_player(PeerSession& s, uint32_t id) {
  if (id == 0) return nullptr;
  for (SessionPlayer& seat : s.seats)
    if (seat.id == id) return &seat;
  return nullptr;
}

// The name as every program is told it (Welcome, "player created"): without
// control characters, and cut on a whole character.
void take_seat(PeerSession& s, SessionPlayer& seat, uint32_t id, const char* name) {
  seat = SessionPlayer{};
  seat.id = id;
  clean_text({reinterpret_cast<const uint8_t*>(name), std::strlen(name)}, seat.name, kPlayerNameSize);
  ++s.player_count;
}

// A player takes the first free seat, as the game's table takes the first
// inactive slot.
void add_player(PeerSession& s, uint32_t id, const char* name) {
  if (id == 0 || find_player(s, id)) return;
  for (SessionPlayer& seat : s.seats) {
    if (seat.id == 0) return take_seat(s, seat, id, name);
  }
}

// The seat stays free for the next player, as the departed player's slot
// stays inactive in every game's table.
void remove_player(PeerSession& s, uint32_t id) {
  SessionPlayer* seat = find_player(s, id);
  if (!seat) return;
  *seat = SessionPlayer{};
  --s.player_count;
}

// The seats up to the last one taken.
std::size_t seats_in_use(const PeerSession& s) {
  std::size_t used = 0;
  for (std::size_t i = 0; i < s.seats.size(); ++i)
    if (s.seats[i].id != 0) used = i + 1;
  return used;
}

// ---------------------------------------------------------------------------
// Sending packets

namespace {

// How a game message travels to one peer (see the channels in
// peer_session.h). ENet gives a connection the smaller of the two sides'
// channel counts. A peer with a single channel was written to a document in
// which the host sent everything reliable on channel 0; the host keeps that
// promise to it, so that its statuses still never come before their
// player's creation. One with two channels gets every status on channel 1,
// as its document says, and a resent one reliable on channel 0. A client
// sends everything on one channel, so that the host takes its messages in
// the order they were sent: the status that begins a life before the shots
// of that life.
struct Route {
  uint8_t channel;
  enet_uint32 flags;
};

constexpr enet_uint32 kReliable = ENET_PACKET_FLAG_RELIABLE;

Route route_to(const PeerSession& s, const ENetPeer* peer, bool guaranteed, int seat) {
  const enet_uint32 flags = guaranteed ? kReliable : 0u;
  if (s.mode != Mode::Host) return {peer->channelCount > kUnguaranteedChannel ? kUnguaranteedChannel : kOrderedChannel, flags};
  if (seat >= 0 && peer->channelCount >= kChannelCount)
    return {static_cast<uint8_t>(kSeatChannelBase + seat), flags};
  if (guaranteed) return {kOrderedChannel, kReliable};
  if (peer->channelCount > kUnguaranteedChannel) return {kUnguaranteedChannel, 0u};
  return {kOrderedChannel, kReliable};
}

bool send_on(ENetPeer* peer, std::span<const uint8_t> bytes, Route route) {
  if (!peer || bytes.empty()) return false;
  ENetPacket* packet = enet_packet_create(bytes.data(), bytes.size(), route.flags);
  if (!packet) return false;
  if (enet_peer_send(peer, route.channel, packet) != 0) {
    enet_packet_destroy(packet);
    return false;
  }
  return true;
}

}  // namespace

bool send_packet(const PeerSession&, ENetPeer* peer, std::span<const uint8_t> bytes, bool guaranteed) {
  return send_on(peer, bytes, {kOrderedChannel, guaranteed ? kReliable : 0u});
}

bool send_game_packet(const PeerSession& s, ENetPeer* peer, std::span<const uint8_t> bytes, bool guaranteed,
                      int seat) {
  return peer && send_on(peer, bytes, route_to(s, peer, guaranteed, seat));
}

// To every player peer but `except`: one packet for each way of travelling
// that some peer needs, shared by the peers that travel it.
void broadcast_packet(PeerSession& s, uint32_t except, std::span<const uint8_t> bytes, bool guaranteed,
                      int seat) {
  std::array<ENetPacket*, 2> packets{};  // reliable, unreliable
  for_each_player_peer(s, except, [&](ENetPeer* peer, const PeerInfo&) {
    const Route route = route_to(s, peer, guaranteed, seat);
    ENetPacket*& packet = packets[route.flags & kReliable ? 0 : 1];
    if (!packet) packet = enet_packet_create(bytes.data(), bytes.size(), route.flags);
    if (packet) enet_peer_send(peer, route.channel, packet);
  });
  for (ENetPacket* packet : packets)
    if (packet && packet->referenceCount == 0) enet_packet_destroy(packet);
}

// ---------------------------------------------------------------------------
// Serving the network

namespace {

void heard_now(PeerSession& s, const ENetPeer* peer) {
  const auto i = static_cast<std::size_t>(peer - s.host->peers);
  s.heard_at[i] = Clock::now();
  s.receive_time_seen[i] = peer->lastReceiveTime;
}

void handle_event(PeerSession& s, ENetEvent& event) {
  const bool hosting = s.mode == Mode::Host;
  switch (event.type) {
    case ENET_EVENT_TYPE_CONNECT:
      heard_now(s, event.peer);
      enet_peer_timeout(event.peer, 0, kPeerTimeoutMinMs, kPeerTimeoutMaxMs);
      // The game's traffic is small; ENet's throttle would otherwise drop
      // unguaranteed messages (a client's shots among them) whenever the
      // round trip wavers on a busy machine.
      enet_peer_throttle_configure(event.peer, ENET_PEER_PACKET_THROTTLE_INTERVAL,
                                   ENET_PEER_PACKET_THROTTLE_ACCELERATION, 0);
      if (hosting) info_of(s, event.peer) = PeerInfo{PeerStage::Connected, 0, Clock::now()};
      else if (s.join == JoinStage::Connecting) s.join = JoinStage::Connected;
      break;
    case ENET_EVENT_TYPE_RECEIVE: {
      heard_now(s, event.peer);
      const std::span<const uint8_t> packet(event.packet->data, event.packet->dataLength);
      if (hosting) host_receive(s, event.peer, packet);
      else client_receive(s, packet, event.channelID);
      enet_packet_destroy(event.packet);
      break;
    }
    case ENET_EVENT_TYPE_DISCONNECT:
      if (hosting) host_disconnected(s, event.peer);
      else if (event.peer == s.server) client_disconnected(s);
      break;
    default:
      break;
  }
}

// ENet gives a peer up only when a retry of an unacknowledged packet times
// out, and on a lossy link its retries back off so far that a vanished
// player or host went unnoticed for over ten seconds. A live peer is heard
// many times a second: a player's statuses every frame, the host's relays,
// and acknowledgements of what we send (even from a program whose window is
// inactive). One that has sent nothing at all for this long has gone.
constexpr auto kSilentPeer = std::chrono::milliseconds(kPeerTimeoutMaxMs);

// Silence is measured on the steady clock: ENet's own clock follows the
// wall clock, and a wall clock set forward (a time server's step, a virtual
// machine resumed) would make every peer look silent at once. ENet notes
// the time of whatever it receives from a peer, acknowledgements included;
// a change of that note since the last look means the peer was heard.
void drop_silent_peers(PeerSession& s) {
  const auto now = Clock::now();
  for (std::size_t i = 0; i < s.host->peerCount; ++i) {
    ENetPeer* peer = &s.host->peers[i];
    if (peer->state != ENET_PEER_STATE_CONNECTED) continue;
    if (peer->lastReceiveTime != s.receive_time_seen[i]) heard_now(s, peer);
    if (now - s.heard_at[i] < kSilentPeer) continue;
    if (s.mode == Mode::Host) host_disconnected(s, peer);
    else if (peer == s.server) client_disconnected(s);
    enet_peer_reset(peer);
  }
}

// ENet 1.3 tells time by the wall clock (gettimeofday) and judges its own
// time-outs by it: a wall clock set forward or back by seconds would make
// every packet awaiting acknowledgement look that old, and ENet would give
// up every peer at once. Before ENet is served its clock is brought back
// onto the steady clock whenever the two part by more than a little (they
// never part by less; setting it every time would let ENet's clock step
// back by a millisecond of rounding).
constexpr int32_t kClockSlackMs = 100;

void follow_steady_clock() {
  const enet_uint32 steady = millisecond_clock();
  const auto apart = static_cast<int32_t>(enet_time_get() - steady);
  if (apart > kClockSlackMs || apart < -kClockSlackMs) enet_time_set(steady);
}



void clear_session(PeerSession& s) {
  if (s.host) enet_host_destroy(s.host);
  if (s.listener != ENET_SOCKET_NULL) enet_socket_destroy(s.listener);
  s.host = nullptr;
  s.server = nullptr;
  s.listener = ENET_SOCKET_NULL;
  s.mode = Mode::Idle;
  s.peers.fill(PeerInfo{});
  s.seats.fill(SessionPlayer{});
  s.player_count = 0;
  s.local_player_id = 0;
  s.next_player_id = 2;
  s.join = JoinStage::None;
  s.queue_head = s.queue_count = 0;
  s.queued_total = 0;
  s.statuses.fill(QueuedStatus{});
}

bool any_peer_connected(const PeerSession& s) {
  for (std::size_t i = 0; i < s.host->peerCount; ++i)
    if (s.host->peers[i].state != ENET_PEER_STATE_DISCONNECTED) return true;
  return false;
}

// Says goodbye to every peer and waits briefly for them to acknowledge, so
// the others see the leave at once rather than after a time-out.
void leave_cleanly(PeerSession& s) {
  for (std::size_t i = 0; i < s.host->peerCount; ++i)
    if (s.host->peers[i].state == ENET_PEER_STATE_CONNECTED) enet_peer_disconnect(&s.host->peers[i], 0);
  const auto deadline = Clock::now() + std::chrono::milliseconds(kLeaveWaitMs);
  ENetEvent event;
  while (any_peer_connected(s) && Clock::now() < deadline) {
    follow_steady_clock();
    if (enet_host_service(s.host, &event, 10) > 0 && event.type == ENET_EVENT_TYPE_RECEIVE)
      enet_packet_destroy(event.packet);
  }
  for (std::size_t i = 0; i < s.host->peerCount; ++i) enet_peer_reset(&s.host->peers[i]);
}

}  // namespace

void service(PeerSession& s, uint32_t wait_ms) {
  if (!s.host) return;
  follow_steady_clock();
  const ServingSession serving(s);
  ENetEvent event;
  for (int n = 0; n < kEventsPerService; ++n) {
    const int result = enet_host_service(s.host, &event, n == 0 ? wait_ms : 0);
    if (result <= 0) break;
    handle_event(s, event);
  }
  drop_silent_peers(s);
  if (s.mode == Mode::Host) host_service(s);
}

bool wait_while(PeerSession& s, JoinStage waiting, uint32_t timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (s.join == waiting && Clock::now() < deadline) service(s, 10);
  return s.join != waiting;
}

// ---------------------------------------------------------------------------
// The service

PeerSession* create_peer_session(const SessionPorts& ports) {
  if (g_enet_users.fetch_add(1) == 0 && enet_initialize() != 0) {
    g_enet_users.fetch_sub(1);
    return nullptr;
  }
  follow_steady_clock();
  auto* session = new PeerSession;
  session->ports = ports;
  return session;
}

void release_peer_session(PeerSession* session) {
  if (!session) return;
  close_session(session);
  delete session;
  if (g_enet_users.fetch_sub(1) == 1) enet_deinitialize();
}

bool initialize_lan(PeerSession* session) {
  if (!session) return false;
  session->connection_chosen = true;
  session->lan = true;
  session->address[0] = '\0';
  return true;
}

bool initialize_internet(PeerSession* session, const char* address) {
  if (!session) return false;
  session->connection_chosen = true;
  session->lan = false;
  std::snprintf(session->address, sizeof session->address, "%s", address ? address : "");
  return true;
}

bool create_local_player(PeerSession* session, const char* name, bool server_player,
                         uint32_t& player_id) {
  if (!session || session->local_player_id != 0) return false;
  PeerSession& s = *session;
  if (s.mode == Mode::Host && server_player) {
    take_server_seat(s, name ? name : "");
  } else if (s.mode == Mode::Client && !server_player && s.join == JoinStage::Accepted) {
    if (!client_create_player(s, name ? name : "")) return false;
  } else {
    return false;
  }
  player_id = s.local_player_id;
  return true;
}

bool enum_players(PeerSession* session, PlayerFound found, void* context) {
  if (!session || session->local_player_id == 0 || !found) return false;
  const std::size_t used = seats_in_use(*session);
  for (std::size_t i = 0; i < used; ++i) {
    const SessionPlayer& seat = session->seats[i];
    if (!found(context, seat.id, seat.id != 0 ? seat.name : "")) break;
  }
  return true;
}

uint32_t message_count(PeerSession* session, uint32_t player_id) {
  if (!session) return 0;
  service(*session);
  if (player_id != session->local_player_id) return 0;
  return static_cast<uint32_t>(session->queue_count);
}

ReceiveResult receive(PeerSession* session, uint32_t& from, uint32_t& to, uint8_t* buffer,
                      std::size_t& size) {
  if (!session || session->queue_count == 0) {
    // The end of a frame's messages: what handling them queued goes out now.
    if (session && session->host) enet_host_flush(session->host);
    return ReceiveResult::NoMessage;
  }
  PeerSession& s = *session;
  const QueuedMessage& message = (*s.queue)[s.queue_head];
  if (message.size > size) {
    size = message.size;
    return ReceiveResult::BufferTooSmall;
  }
  from = message.from;
  to = message.to;
  size = message.size;
  std::memcpy(buffer, message.bytes.data(), message.size);
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - message.arrived);
  s.last_waited_ms = static_cast<uint32_t>(std::min<int64_t>(waited.count(), UINT32_MAX));
  s.queue_head = (s.queue_head + 1) % kMessageQueueCapacity;
  --s.queue_count;
  return ReceiveResult::Ok;
}

bool send(PeerSession* session, uint32_t from, uint32_t to, bool guaranteed, const uint8_t* bytes,
          std::size_t size) {
  if (!session || !bytes || size == 0 || size > kMaxSessionMessage) return false;
  PeerSession& s = *session;
  if (s.mode == Mode::Idle || s.local_player_id == 0 || from != s.local_player_id) return false;
  std::array<uint8_t, 1 + kMaxSessionMessage> packet{};
  const std::span<const uint8_t> framed(packet.data(),
                                        encode_framed(PacketKind::Game, {bytes, size}, packet));
  if (s.mode == Mode::Client)
    return to == kServerPlayerId && s.server && send_game_packet(s, s.server, framed, guaranteed);
  if (to == s.local_player_id) return push_message(s, from, to, {bytes, size});
  const int seat = status_seat(s, {bytes, size});
  if (to == kAllPlayers) {
    broadcast_packet(s, from, framed, guaranteed, seat);
    return true;
  }
  bool sent = false;
  for_each_player_peer(s, from, [&](ENetPeer* peer, const PeerInfo& info) {
    if (info.player_id == to) sent = send_game_packet(s, peer, framed, guaranteed, seat);
  });
  return sent;
}

uint32_t last_message_waited_ms(const PeerSession* session) {
  return session ? session->last_waited_ms : 0;
}

void flush(PeerSession* session) {
  if (session && session->host) enet_host_flush(session->host);
}

const char* join_failure(const PeerSession* session) {
  return session && session->failure[0] ? session->failure : "The game could not be joined.";
}

void keep_alive(PeerSession* session) {
  if (session) service(*session);
}

SessionTraffic session_traffic(const PeerSession* session) {
  SessionTraffic traffic;
  if (session && session->host) {
    traffic.sent_bytes = session->host->totalSentData;
    traffic.received_bytes = session->host->totalReceivedData;
  }
  return traffic;
}

void close_session(PeerSession* session) {
  if (!session) return;
  if (session->host) leave_cleanly(*session);
  clear_session(*session);
}

}  // namespace platform
