// The peer session: what the game expects of a session service, on ENet.
//
// One program hosts a session of at most eight players; the others find it
// (a broadcast on the local network, or a query to an address) and join it.
// The host's player is the server player with id 1 and the host gives every
// joining player the next id from 2 on. All traffic is a star through the
// host: a client sends only to the host, the host to one player or to all.
// Joins, departures and a vanished host reach the game as system messages
// from id 0, in order with the guaranteed game messages around them. Everything runs
// on the calling thread; nothing happens between calls, so a program that
// does not handle messages for a while calls keep_alive instead.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/session_packets.h"

namespace platform {

struct PeerSession;  // opaque; owned by this layer

struct SessionPorts {
  uint16_t game = kGamePort;
  uint16_t discovery = kDiscoveryPort;
  // Where discovery queries go when broadcasting: 0 for every IPv4
  // interface's broadcast address; tests name one address instead.
  uint32_t broadcast_override = 0;  // host byte order
};

struct SessionDescription {
  char session_name[kSessionNameSize] = {};
  int32_t current_players = 0;
  int32_t computer_players = 0;  // of current_players: seats that give way to a newcomer
  int32_t max_players = 0;
  SessionInstance instance{};
  uint32_t round_trip_ms = 0;  // from the listing's first query to the reply
};

enum class ReceiveResult { Ok, BufferTooSmall, NoMessage };

// Received messages wait in a fixed ring, allocated once per session, until
// the game takes them; while its window is inactive the game takes none and
// the ring fills. The last kSystemMessageReserve places are kept for system
// messages, so that joins and departures outlast a flood of game messages;
// a game message that finds no place is dropped (and counted on standard
// error), and so is a system message once every place is taken (which
// needs that many joins and departures while the game takes nothing).
//
// The layer looks into a game message for one thing only, so that a player's
// stream of status messages cannot crowd out what matters: a message of at
// least kGameHeaderSize bytes whose type (bytes 0..3, little-endian) is
// kGameStatusType takes the place of the status from the same writer (the
// sender id in bytes 8..11, from the same connection) still waiting in the
// ring, instead of a new place. So the ring holds only the newest status of
// each player, where that player's oldest waiting status stood, and every
// other message in the order it came.
inline constexpr std::size_t kMessageQueueCapacity = 4096;
inline constexpr std::size_t kSystemMessageReserve = 64;
inline constexpr uint32_t kGameStatusType = 3;
inline constexpr std::size_t kGameHeaderSize = 12;

// How long a listing waits for answers, and how long a join waits for the host.
inline constexpr uint32_t kDefaultEnumerationMs = 1000;
inline constexpr uint32_t kJoinTimeoutMs = 3000;
// How long a host waits for a new connection's join request, and then for
// the accepted connection's player; a connection that keeps it waiting
// longer is disconnected, so idle connections cannot hold its places.
inline constexpr uint32_t kJoinRequestWaitMs = 1000;
inline constexpr uint32_t kCreatePlayerWaitMs = kJoinTimeoutMs;

// Null when the network layer cannot be started.
PeerSession* create_peer_session(const SessionPorts& ports);
// Leaves any open session (the others see it at once) and frees everything.
void release_peer_session(PeerSession* session);

// The transport: the local network by broadcast, or the internet through
// one address (a name or a dotted address; empty or 0.0.0.0 broadcasts).
bool initialize_lan(PeerSession* session);
bool initialize_internet(PeerSession* session, const char* address);

// Lists sessions: blocks up to timeout_ms, calling found once per session
// that answers (each at most once) and once more with null at the time-out,
// unless found returned false first. False when no query could be sent.
using SessionFound = bool (*)(void* context, const SessionDescription* session);
bool enum_sessions(PeerSession* session, uint32_t timeout_ms, SessionFound found, void* context);

// Creates a session named session_name for max_players and starts
// answering queries. False when the game port cannot be opened.
bool open_new_session(PeerSession* session, const char* session_name, int32_t max_players);
// Joins the listed session with this instance. False when it is not listed,
// does not answer, or refuses (join_failure says which).
bool open_listed_session(PeerSession* session, const SessionInstance& instance);
// Joins the session with this instance at an address (IPv4, network byte
// order) and game port, as a game of a public list is joined.
bool open_session_at(PeerSession* session, uint32_t host, uint16_t port, const SessionInstance& instance);

// Why the last join (open_listed_session or a client's create_local_player)
// failed, in a sentence for the player: the host's refusal or the silence.
const char* join_failure(const PeerSession* session);

// Creates the local player in the open session: the host's is the server
// player (id 1); a client's id comes from the host.
bool create_local_player(PeerSession* session, const char* name, bool server_player,
                         uint32_t& player_id);
// Every player of the session in seat order, the local one included. A
// player takes the first free seat and leaves it free when going, exactly as
// a game's player table takes the first inactive slot and leaves the slot of
// a departed player inactive; a free seat before the last player is reported
// with id 0 (and an empty name), so that a joining program's table has every
// player in the same place as the tables of those already playing.
using PlayerFound = bool (*)(void* context, uint32_t player_id, const char* name);
bool enum_players(PeerSession* session, PlayerFound found, void* context);

// Messages waiting for the local player; also serves the network.
uint32_t message_count(PeerSession* session, uint32_t player_id);
// Takes the next message: in, capacity is the buffer's size; out, size is
// the message's size. BufferTooSmall leaves the message waiting.
ReceiveResult receive(PeerSession* session, uint32_t& from, uint32_t& to, uint8_t* buffer,
                      std::size_t& size);
// How long the message receive took last had waited in the ring, in
// milliseconds: from the service that took it off the network to receive.
uint32_t last_message_waited_ms(const PeerSession* session);
// To one player, or to every player but the sender with id 0. A host's
// guaranteed messages are delivered once and in order, in one order with
// the system messages; a status it relays travels apart, on the channel of
// its writer's seat, so that nothing lost before it holds it back and it is
// dropped only for a newer status of the same writer (a guaranteed status,
// resent, keeps its place among that writer's others). So a status may
// arrive before a guaranteed message or system message sent earlier (before
// its player's creation, or after its departure). A client's messages
// reach the host in the order it sent them, the unguaranteed ones unless
// lost. A host sends a connection that asked for a single channel
// everything guaranteed, and one that asked for two every status on one
// channel, as their documents promised.
bool send(PeerSession* session, uint32_t from, uint32_t to, bool guaranteed, const uint8_t* bytes,
          std::size_t size);
// The host's measure of the round trip to a player (ENet's mean of the
// acknowledged packets, in milliseconds); 0 for the host's own player, for
// an id that is no player's connection, and on a client.
uint32_t round_trip_ms(const PeerSession* session, uint32_t player_id);
// Puts every message sent so far on the wire now, rather than at the next
// service.
void flush(PeerSession* session);
// Serves the network without taking messages off the queue: keeps the
// session alive and lets players join while the game is not drawing frames.
void keep_alive(PeerSession* session);

// Bytes this program has put on the wire and taken off it in the open
// session, UDP payloads included ENet's own headers, acknowledgements and
// pings.
struct SessionTraffic {
  uint64_t sent_bytes = 0;
  uint64_t received_bytes = 0;
};
SessionTraffic session_traffic(const PeerSession* session);

// Host only. A player whose seat yields gives it up to a newcomer: when a
// join would be refused because every seat is taken, the host drops one
// such player at once (its program sees the host go; the others see it
// leave) and accepts the join instead. A program that hosts computer
// players of its own names them, so that a person is never turned away for
// their sake. False for a player of no connection of this host.
bool set_seat_yields(PeerSession* session, uint32_t player_id, bool yields);
// Host only: the seats taken, counting connections accepted but without a
// player yet (the count a join is refused by).
int32_t seats_taken(PeerSession* session);
// Host only: the host's own player never plays (a dedicated server's). Its
// seat is then left out of the players and places a listing shows.
void list_without_host_seat(PeerSession* session);
// Host only: the instance the open session is listed with.
SessionInstance hosted_instance(const PeerSession* session);
// Host only: whether it answers listings, that is, whether its discovery
// port could be opened; a game that does not is joined by address alone.
bool answers_listings(const PeerSession* session);

// Leaves the session; the layer can then connect and open again.
void close_session(PeerSession* session);

}  // namespace platform
