// The bytes the session layer puts on the wire, apart from the game's own
// messages: the discovery query and reply on the discovery port, and the
// packets of the game port that frame joining, players and messages.
// One encoder and one decoder per packet; decoders read untrusted bytes
// through the bounded reader and answer false for anything malformed, so
// nothing here can read or write outside its buffers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace platform {

// UDP ports: the game's traffic (ENet) to the host, and session listing.
inline constexpr uint16_t kGamePort = 24640;
inline constexpr uint16_t kDiscoveryPort = 24641;
inline constexpr uint8_t kSessionProtocolVersion = 1;

inline constexpr int32_t kSessionMaxPlayers = 8;
inline constexpr std::size_t kSessionNameSize = 80;   // 79 characters + NUL
inline constexpr std::size_t kPlayerNameSize = 40;    // 39 characters + NUL
inline constexpr std::size_t kRefusalTextSize = 128;  // 127 characters + NUL
// The largest message the session carries for the game; game messages are
// at most 272 bytes and system messages 48.
inline constexpr std::size_t kMaxSessionMessage = 512;

using SessionInstance = std::array<uint8_t, 16>;

// Discovery port. A query is "MRVQ" and the version, padded with zeros to
// the size of the reply so that a forged source address gains nothing by
// the answer; a host answers the querying address with a reply describing
// its session.
inline constexpr std::size_t kDiscoveryReplySize = 105;
inline constexpr std::size_t kDiscoveryQuerySize = kDiscoveryReplySize;

// The reply's last byte, which the name field's zero padding leaves zero
// for older programs, counts the players that are computer players giving
// their seats up to a newcomer (set_seat_yields); the name therefore holds
// at most 78 characters on the wire. Older programs, which read the whole
// field as the name, still find it terminated and take the count for
// padding; a reply from an older host counts no computer players.
inline constexpr std::size_t kDiscoveryNameField = kSessionNameSize - 1;

struct DiscoveryReply {
  SessionInstance instance{};
  uint8_t current_players = 0;
  uint8_t max_players = 0;
  uint16_t game_port = 0;
  char session_name[kSessionNameSize] = {};  // always terminated once decoded
  uint8_t computer_players = 0;              // of current_players; never more
};

std::array<uint8_t, kDiscoveryQuerySize> encode_discovery_query();
bool decode_discovery_query(std::span<const uint8_t> bytes);
std::array<uint8_t, kDiscoveryReplySize> encode_discovery_reply(const DiscoveryReply& reply);
bool decode_discovery_reply(std::span<const uint8_t> bytes, DiscoveryReply& reply);

// Game port: every ENet packet starts with one of these kinds.
enum class PacketKind : uint8_t {
  Join = 1,          // client: "MRVN", version, the session's instance
  Accept = 2,        // host: the join is accepted
  Refuse = 3,        // host: the join is refused, with a reason
  CreatePlayer = 4,  // client: its player's name
  Welcome = 5,       // host: the new player's id and every player of the session
  System = 6,        // host: a system message (player created or destroyed)
  Game = 7,          // either: one game message
};

struct SessionPlayer {
  uint32_t id = 0;
  char name[kPlayerNameSize] = {};
};

// The players by seat: the first player_count seats, where id 0 is a free
// seat (its player has left) before the last one taken.
struct WelcomePacket {
  uint32_t player_id = 0;
  uint8_t player_count = 0;  // 1..8
  std::array<SessionPlayer, kSessionMaxPlayers> players{};
};

inline constexpr std::size_t kJoinPacketSize = 22;
inline constexpr std::size_t kWelcomePacketMax = 6 + kSessionMaxPlayers * (4 + kPlayerNameSize);

// Each encoder writes into out and returns the packet's size (0 when out is
// too small).
std::size_t encode_join(const SessionInstance& instance, std::span<uint8_t> out);
std::size_t encode_accept(std::span<uint8_t> out);
std::size_t encode_refuse(const char* reason, std::span<uint8_t> out);
std::size_t encode_create_player(const char* name, std::span<uint8_t> out);
std::size_t encode_welcome(const WelcomePacket& welcome, std::span<uint8_t> out);
// System and Game packets: the kind, then the message as it is.
std::size_t encode_framed(PacketKind kind, std::span<const uint8_t> message, std::span<uint8_t> out);

// The kind of a packet, or false for an empty packet or an unknown kind.
bool packet_kind(std::span<const uint8_t> packet, PacketKind& kind);
// A join request, and what is wrong with it if anything: not this game's
// magic, another version of the protocol, or the wrong length (also when it
// is too short to tell the others). The magic is judged before the version
// and the version before the length, since another version may have
// another length.
enum class JoinCheck { Ok, WrongMagic, OtherVersion, WrongSize };
JoinCheck check_join(std::span<const uint8_t> packet, SessionInstance& instance);
bool decode_join(std::span<const uint8_t> packet, SessionInstance& instance);
bool decode_refuse(std::span<const uint8_t> packet, char (&reason)[kRefusalTextSize]);
// The name is cleaned as platform/text.h says and cut after the last whole
// character within 39 bytes; an empty name is refused.
bool decode_create_player(std::span<const uint8_t> packet, char (&name)[kPlayerNameSize]);
bool decode_welcome(std::span<const uint8_t> packet, WelcomePacket& welcome);
// System and Game packets: the message after the kind, at most
// kMaxSessionMessage bytes and at least 4.
bool decode_framed(std::span<const uint8_t> packet, std::span<const uint8_t>& message);

// System messages, as the game reads them: type at 0, the player id at 4,
// and for a creation the player's name from 8, NUL-terminated.
inline constexpr uint32_t kSystemCreatePlayer = 0x0003;
inline constexpr uint32_t kSystemDestroyPlayer = 0x0005;
inline constexpr uint32_t kSystemHost = 0x0101;
inline constexpr std::size_t kSystemMessageMax = 8 + kPlayerNameSize;
std::size_t encode_system_message(uint32_t type, uint32_t player_id, const char* name,
                                  std::span<uint8_t> out);

}  // namespace platform
