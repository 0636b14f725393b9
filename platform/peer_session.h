// The session layer's insides, shared by its parts: the session object and
// what every part uses (the ring of received messages, the seats, sending
// packets and serving the network) in session.cpp; the host's rules in
// session_host.cpp; the client's in session_client.cpp; the listing of games
// in session_listing.cpp. Only those files include it.
#pragma once

#include <enet/enet.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/discovery.h"
#include "platform/session.h"
#include "platform/session_packets.h"

namespace platform {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kServerPlayerId = 1;
constexpr uint32_t kAllPlayers = 0;
constexpr uint32_t kSystemSender = 0;
// Seven clients, and room enough beside them that connections which never
// become players (each dropped within about two seconds) cannot keep a real
// player out.
constexpr std::size_t kMaxPeers = 64;
// Channels. Channel 0 carries everything the host guarantees, reliable and
// in one order: the handshake, system messages, and the game messages that
// must not be lost (a player's creation reaches a program before anything
// else of that player on this channel). Channels 2 to 9 carry the host's
// relays of statuses, one channel per seat of the writer: ENet sequences an
// unreliable channel as a whole, so on one shared channel a status of one
// player arriving after a newer status of another would be dropped; apart,
// a status is dropped only for a newer one of the same player. ENet holds
// an unreliable packet back until every reliable one sent before it on its
// channel has arrived, so nothing reliable travels on a seat's channel but
// the status the host resends, guaranteed, of a player fallen quiet, which
// must not overtake or be overtaken by that player's other statuses.
// Channel 1 carries a client's own game messages to the host, in the order
// sent: statuses unreliable, everything else reliable; and, from the host
// to a program that asked for two channels only (an older program), every
// relayed status, unreliable.
constexpr uint8_t kOrderedChannel = 0;
constexpr uint8_t kUnguaranteedChannel = 1;
constexpr uint8_t kSeatChannelBase = 2;
constexpr std::size_t kChannelCount = kSeatChannelBase + kSessionMaxPlayers;
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
  int32_t places = 0;           // the game's places, the host's own included
  bool host_seat_idle = false;  // the host's own player never plays
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

// Warns on standard error at most once a second (see Complaint).
void complain(Complaint& complaint, uint32_t times = 1);

// The ring of received messages (see session.h).
bool push_message(PeerSession& s, uint32_t from, uint32_t to, std::span<const uint8_t> bytes);
void push_system(PeerSession& s, uint32_t type, uint32_t player_id, const char* name);

// The seats (see enum_players in session.h).
SessionPlayer* find_player(PeerSession& s, uint32_t id);
void take_seat(PeerSession& s, SessionPlayer& seat, uint32_t id, const char* name);
void add_player(PeerSession& s, uint32_t id, const char* name);
void remove_player(PeerSession& s, uint32_t id);
std::size_t seats_in_use(const PeerSession& s);

// Sending packets. The handshake and system messages go on channel 0 (all
// of them guaranteed); game messages as send_game_packet routes them, where
// seat is the seat of a status's writer (-1 for every other message).
bool send_packet(const PeerSession& s, ENetPeer* peer, std::span<const uint8_t> bytes, bool guaranteed);
bool send_game_packet(const PeerSession& s, ENetPeer* peer, std::span<const uint8_t> bytes, bool guaranteed,
                      int seat = -1);
void broadcast_packet(PeerSession& s, uint32_t except, std::span<const uint8_t> bytes, bool guaranteed,
                      int seat = -1);

inline PeerInfo& info_of(PeerSession& s, const ENetPeer* peer) {
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

// Handles what has arrived, sends what is queued, and waits up to wait_ms
// for the first event.
void service(PeerSession& s, uint32_t wait_ms = 0);
// Serves the network until the join reaches a stage other than `waiting`,
// or the time runs out. True when it moved on.
bool wait_while(PeerSession& s, JoinStage waiting, uint32_t timeout_ms);

// The host's side (session_host.cpp).
void host_receive(PeerSession& s, ENetPeer* peer, std::span<const uint8_t> packet);
void host_disconnected(PeerSession& s, ENetPeer* peer);
void host_service(PeerSession& s);
// The listing's counts of players and computer players, as they now stand.
void describe_players(PeerSession& s);
void take_server_seat(PeerSession& s, const char* name);

// The host's game port (game_port.cpp) also answers the list's proofs and
// discovery queries, from the socket ENet listens on: installed on the
// host's ENet host once it is created. The hook answers for the session
// being served on the calling thread, which a ServingSession names for as
// long as it lives.
void answer_on_game_port(PeerSession& s);
struct ServingSession {
  explicit ServingSession(PeerSession& s);
  ~ServingSession();
  ServingSession(const ServingSession&) = delete;
  ServingSession& operator=(const ServingSession&) = delete;
  PeerSession* previous;
};

// The client's side (session_client.cpp).
void client_receive(PeerSession& s, std::span<const uint8_t> packet, uint8_t channel);
void client_disconnected(PeerSession& s);
bool client_create_player(PeerSession& s, const char* name);

}  // namespace platform
