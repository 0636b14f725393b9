#include "platform/session.h"

#include <enet/enet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>

#include "platform/clock.h"
#include "platform/discovery.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kServerPlayerId = 1;
constexpr uint32_t kAllPlayers = 0;
constexpr uint32_t kSystemSender = 0;
// Seven clients, and room enough beside them that connections which never
// become players (each dropped within about two seconds) cannot keep a real
// player out.
constexpr std::size_t kMaxPeers = 64;
constexpr uint8_t kChannel = 0;  // one channel: system and game messages stay in order
// A connection being dropped has this long to acknowledge the disconnection
// before it is forgotten without a word.
constexpr uint32_t kDropGraceMs = 1000;
// A silent peer is dropped after 3 to 6 s (ENet's default is up to 30 s), so
// a player who vanishes is announced as gone within 10 s.
constexpr enet_uint32 kPeerTimeoutMinMs = 3000;
constexpr enet_uint32 kPeerTimeoutMaxMs = 6000;
// A clean leave waits this long for the others to acknowledge it.
constexpr uint32_t kLeaveWaitMs = 250;
// The ring of received messages (see session.h) remembers where the waiting
// status of each of this many writers stands; a writer beyond them has its
// statuses queued one after another.
constexpr std::size_t kStatusWriters = 16;
// Events handled per service call, so that a flood cannot stall a frame.
constexpr int kEventsPerService = 4096;

enum class Mode { Idle, Host, Client };
// A connection on the host: connected (its join request awaited), joined
// (accepted, its player awaited), a player, or being dropped.
enum class PeerStage { Connected, Joined, Player, Leaving };
enum class JoinStage { None, Connecting, Connected, Accepted, Refused, Welcomed, Failed };

struct PeerInfo {
  PeerStage stage = PeerStage::Connected;
  uint32_t player_id = 0;
  Clock::time_point since{};  // when it reached its stage; unset while ENet's handshake runs
  bool yields = false;  // a player that gives its seat up to a newcomer (set_seat_yields)
};

struct QueuedMessage {
  uint32_t from = 0;
  uint32_t to = 0;
  Clock::time_point arrived{};
  std::size_t size = 0;
  std::array<uint8_t, kMaxSessionMessage> bytes{};
};

// Where the waiting status of one writer stands in the ring: the number of
// messages queued before it in the session, so that it is still waiting
// while that number is not below the oldest waiting message's.
struct QueuedStatus {
  uint32_t from = 0;
  uint32_t writer = 0;
  uint64_t sequence = 0;
  bool used = false;
};

struct FoundSession {
  SessionInstance instance{};
  ENetAddress address{};
};

// A warning for standard error that repeats at most once a second, with the
// number of times it happened since it was last printed.
struct Complaint {
  const char* text;
  uint32_t count = 0;
  Clock::time_point last{};
};

void complain(Complaint& complaint, uint32_t times = 1) {
  complaint.count += times;
  const auto now = Clock::now();
  if (complaint.last != Clock::time_point{} && now - complaint.last < std::chrono::seconds(1)) return;
  std::fprintf(stderr, "Morvane: %s (%u)\n", complaint.text, complaint.count);
  complaint.count = 0;
  complaint.last = now;
}

// ENet needs one start and one stop per process, whatever the number of
// sessions (a test runs several in one process).
std::atomic<int> g_enet_users{0};

}  // namespace

struct PeerSession {
  SessionPorts ports{};
  bool connection_chosen = false;
  bool lan = false;
  char address[256] = {};

  Mode mode = Mode::Idle;
  ENetHost* host = nullptr;
  ENetPeer* server = nullptr;  // a client's connection to its host
  ENetSocket listener = ENET_SOCKET_NULL;
  DiscoveryReply description{};
  std::array<PeerInfo, kMaxPeers> peers{};
  // When each peer was last heard (a packet, an acknowledgement, or its
  // connection), on the steady clock; and ENet's time of the last thing it
  // received from the peer as we last saw it, whose change tells that the
  // peer was heard again.
  std::array<Clock::time_point, kMaxPeers> heard_at{};
  std::array<enet_uint32, kMaxPeers> receive_time_seen{};

  std::array<SessionPlayer, kSessionMaxPlayers> seats{};  // id 0: a free seat
  int32_t player_count = 0;
  uint32_t local_player_id = 0;
  uint32_t next_player_id = 2;

  JoinStage join = JoinStage::None;
  char refusal[kRefusalTextSize] = {};
  char failure[kRefusalTextSize] = {};  // why the last join failed
  WelcomePacket welcome{};

  std::array<FoundSession, kSessionMaxPlayers> found{};
  int32_t found_count = 0;

  // The message with sequence number q waits at place q % capacity.
  std::unique_ptr<std::array<QueuedMessage, kMessageQueueCapacity>> queue =
      std::make_unique<std::array<QueuedMessage, kMessageQueueCapacity>>();
  std::size_t queue_head = 0;
  std::size_t queue_count = 0;
  uint64_t queued_total = 0;  // the sequence number of the next message
  std::array<QueuedStatus, kStatusWriters> statuses{};
  uint32_t last_waited_ms = 0;  // of the message receive took last

  Complaint dropped{"the game was not taking messages; dropped"};
  Complaint malformed{"ignored malformed network packets"};
};

namespace {

// ---------------------------------------------------------------------------
// The message queue

uint32_t le32_at(std::span<const uint8_t> bytes, std::size_t offset) {
  return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<uint32_t>(bytes[offset + 2]) << 16 | static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

bool is_game_status(std::span<const uint8_t> bytes) {
  return bytes.size() >= kGameHeaderSize && le32_at(bytes, 0) == kGameStatusType;
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

void take_seat(PeerSession& s, SessionPlayer& seat, uint32_t id, const char* name) {
  seat = SessionPlayer{};
  seat.id = id;
  std::memcpy(seat.name, name, strnlen(name, kPlayerNameSize - 1));
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

bool send_packet(ENetPeer* peer, std::span<const uint8_t> bytes, bool reliable) {
  if (!peer || bytes.empty()) return false;
  ENetPacket* packet = enet_packet_create(bytes.data(), bytes.size(),
                                          reliable ? ENET_PACKET_FLAG_RELIABLE : 0);
  if (!packet) return false;
  if (enet_peer_send(peer, kChannel, packet) != 0) {
    enet_packet_destroy(packet);
    return false;
  }
  return true;
}

PeerInfo& info_of(PeerSession& s, const ENetPeer* peer) {
  return s.peers[static_cast<std::size_t>(peer - s.host->peers)];
}

// Every peer that is a player, except the one with id `except`.
template <typename Visit>
void for_each_player_peer(PeerSession& s, uint32_t except, Visit visit) {
  for (std::size_t i = 0; i < s.host->peerCount; ++i) {
    ENetPeer* peer = &s.host->peers[i];
    const PeerInfo& info = s.peers[i];
    if (peer->state == ENET_PEER_STATE_CONNECTED && info.stage == PeerStage::Player &&
        info.player_id != except)
      visit(peer, info);
  }
}

// One packet, shared by every player peer but `except`.
void broadcast_packet(PeerSession& s, uint32_t except, std::span<const uint8_t> bytes, bool reliable) {
  ENetPacket* packet = enet_packet_create(bytes.data(), bytes.size(),
                                          reliable ? ENET_PACKET_FLAG_RELIABLE : 0);
  if (!packet) return;
  for_each_player_peer(s, except, [&](ENetPeer* peer, const PeerInfo&) { enet_peer_send(peer, kChannel, packet); });
  if (packet->referenceCount == 0) enet_packet_destroy(packet);
}

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
  send_packet(peer, {packet.data(), encode_refuse(reason, packet)}, true);
  enet_peer_disconnect_later(peer, 0);
  info_of(s, peer) = PeerInfo{PeerStage::Leaving, 0, Clock::now()};
}

// ---------------------------------------------------------------------------
// The host's side

int32_t places_taken(PeerSession& s) {
  int32_t taken = s.player_count;
  for (std::size_t i = 0; i < s.host->peerCount; ++i)
    if (s.host->peers[i].state == ENET_PEER_STATE_CONNECTED && s.peers[i].stage == PeerStage::Joined)
      ++taken;
  return taken;
}

void host_disconnected(PeerSession& s, ENetPeer* peer);

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
  if (places_taken(s) >= s.description.max_players && !free_yielding_seat(s))
    return refuse(s, peer, "The game is full: it has 8 players.");
  info_of(s, peer) = PeerInfo{PeerStage::Joined, 0, Clock::now()};
  std::array<uint8_t, 1> accept{};
  send_packet(peer, {accept.data(), encode_accept(accept)}, true);
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
  send_packet(peer, {bytes.data(), encode_welcome(welcome, bytes)}, true);
  push_system(s, kSystemCreatePlayer, id, name);
  send_system_to_others(s, kSystemCreatePlayer, id, name);
}

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

// ---------------------------------------------------------------------------
// The client's side

void client_receive(PeerSession& s, std::span<const uint8_t> packet) {
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

// ---------------------------------------------------------------------------
// Serving the network

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
      else client_receive(s, packet);
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

// Handles what has arrived, sends what is queued, and waits up to wait_ms
// for the first event.
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

void service(PeerSession& s, uint32_t wait_ms = 0) {
  if (!s.host) return;
  follow_steady_clock();
  ENetEvent event;
  for (int n = 0; n < kEventsPerService; ++n) {
    const int result = enet_host_service(s.host, &event, n == 0 ? wait_ms : 0);
    if (result <= 0) break;
    handle_event(s, event);
  }
  drop_silent_peers(s);
  if (s.mode != Mode::Host) return;
  drop_idle_peers(s);
  s.description.current_players = static_cast<uint8_t>(s.player_count);
  const uint32_t rejected = answer_queries(s.listener, s.description);
  if (rejected > 0) complain(s.malformed, rejected);
}

// Serves the network until the join reaches a stage other than `waiting`,
// or the time runs out. True when it moved on.
bool wait_while(PeerSession& s, JoinStage waiting, uint32_t timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (s.join == waiting && Clock::now() < deadline) service(s, 10);
  return s.join != waiting;
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

SessionInstance random_instance() {
  std::random_device random;
  SessionInstance instance{};
  for (std::size_t i = 0; i < instance.size(); i += 4) {
    const uint32_t value = random();
    std::memcpy(&instance[i], &value, 4);
  }
  return instance;
}

struct Listing {
  PeerSession* session;
  SessionFound found;
  void* context;
  bool more;  // false once found has asked to stop
};

bool reply_arrived(void* context, const DiscoveryReply& reply, const ENetAddress& from) {
  Listing& listing = *static_cast<Listing*>(context);
  PeerSession& s = *listing.session;
  for (int32_t i = 0; i < s.found_count; ++i)
    if (s.found[static_cast<std::size_t>(i)].instance == reply.instance) return true;
  if (s.found_count >= static_cast<int32_t>(s.found.size())) return false;
  FoundSession& entry = s.found[static_cast<std::size_t>(s.found_count++)];
  entry.instance = reply.instance;
  entry.address.host = from.host;
  entry.address.port = reply.game_port;
  SessionDescription description;
  std::memcpy(description.session_name, reply.session_name, sizeof description.session_name);
  description.current_players = reply.current_players;
  description.max_players = reply.max_players;
  description.instance = reply.instance;
  listing.more = listing.found(listing.context, &description);
  return listing.more;
}

}  // namespace

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

bool enum_sessions(PeerSession* session, uint32_t timeout_ms, SessionFound found, void* context) {
  if (!session || !session->connection_chosen || !found) return false;
  PeerSession& s = *session;
  s.found_count = 0;
  QueryTargets targets;
  if (s.ports.broadcast_override != 0) {
    targets.hosts[targets.count++] = ENET_HOST_TO_NET_32(s.ports.broadcast_override);
  } else if (s.lan || s.address[0] == '\0' || std::strcmp(s.address, "0.0.0.0") == 0) {
    // No address, or the "any address" the configurator starts with: look
    // on the local network.
    targets = broadcast_targets();
  } else if (!address_target(s.address, targets)) {
    std::fprintf(stderr, "Morvane: cannot find the address \"%s\"\n", s.address);
    found(context, nullptr);
    return false;
  }
  Listing listing{&s, found, context, true};
  const bool sent = query_sessions(targets, s.ports.discovery, timeout_ms, reply_arrived, &listing);
  if (listing.more) found(context, nullptr);  // the time-out
  return sent;
}

bool open_new_session(PeerSession* session, const char* session_name, int32_t max_players) {
  if (!session || !session->connection_chosen || session->mode != Mode::Idle) return false;
  PeerSession& s = *session;
  ENetAddress address{};
  address.host = ENET_HOST_ANY;
  address.port = s.ports.game;
  s.host = enet_host_create(&address, kMaxPeers, 1, 0, 0);
  if (!s.host) {
    std::fprintf(stderr, "Morvane: cannot host a game: UDP port %u is in use\n", s.ports.game);
    return false;
  }
  s.listener = open_discovery_listener(s.ports.discovery);
  if (s.listener == ENET_SOCKET_NULL)
    std::fprintf(stderr, "Morvane: UDP port %u is in use: this game will not be listed\n",
                 s.ports.discovery);
  s.mode = Mode::Host;
  s.description = DiscoveryReply{};
  s.description.instance = random_instance();
  s.description.max_players = static_cast<uint8_t>(
      max_players > 0 && max_players <= kSessionMaxPlayers ? max_players : kSessionMaxPlayers);
  s.description.game_port = s.ports.game;
  std::snprintf(s.description.session_name, kSessionNameSize, "%s", session_name ? session_name : "");
  return true;
}

bool open_listed_session(PeerSession* session, const SessionInstance& instance) {
  if (!session || session->mode != Mode::Idle) return false;
  PeerSession& s = *session;
  const FoundSession* target = nullptr;
  for (int32_t i = 0; i < s.found_count; ++i)
    if (s.found[static_cast<std::size_t>(i)].instance == instance) target = &s.found[static_cast<std::size_t>(i)];
  if (!target) return false;
  s.host = enet_host_create(nullptr, 1, 1, 0, 0);
  if (!s.host) return false;
  s.mode = Mode::Client;
  s.join = JoinStage::Connecting;
  s.server = enet_host_connect(s.host, &target->address, 1, 0);
  if (s.server && wait_while(s, JoinStage::Connecting, kJoinTimeoutMs) && s.join == JoinStage::Connected) {
    std::array<uint8_t, kJoinPacketSize> join{};
    send_packet(s.server, {join.data(), encode_join(instance, join)}, true);
    wait_while(s, JoinStage::Connected, kJoinTimeoutMs);
  }
  if (s.join == JoinStage::Accepted) return true;
  if (s.join == JoinStage::Refused)
    std::snprintf(s.failure, sizeof s.failure, "%s", s.refusal);
  else
    std::snprintf(s.failure, sizeof s.failure, "The game did not answer.");
  std::fprintf(stderr, "Morvane: could not join: %s\n", s.failure);
  close_session(session);
  return false;
}

bool create_local_player(PeerSession* session, const char* name, bool server_player,
                         uint32_t& player_id) {
  if (!session || session->local_player_id != 0) return false;
  PeerSession& s = *session;
  if (s.mode == Mode::Host && server_player) {
    s.local_player_id = kServerPlayerId;
    add_player(s, kServerPlayerId, name ? name : "");
  } else if (s.mode == Mode::Client && !server_player && s.join == JoinStage::Accepted) {
    std::array<uint8_t, 1 + kPlayerNameSize> packet{};
    send_packet(s.server, {packet.data(), encode_create_player(name ? name : "", packet)}, true);
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
    return to == kServerPlayerId && s.server && send_packet(s.server, framed, guaranteed);
  if (to == s.local_player_id) return push_message(s, from, to, {bytes, size});
  if (to == kAllPlayers) {
    broadcast_packet(s, from, framed, guaranteed);
    return true;
  }
  bool sent = false;
  for_each_player_peer(s, from, [&](ENetPeer* peer, const PeerInfo& info) {
    if (info.player_id == to) sent = send_packet(peer, framed, guaranteed);
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

SessionInstance hosted_instance(const PeerSession* session) {
  return session && session->mode == Mode::Host ? session->description.instance : SessionInstance{};
}

void close_session(PeerSession* session) {
  if (!session) return;
  if (session->host) leave_cleanly(*session);
  clear_session(*session);
}

}  // namespace platform
