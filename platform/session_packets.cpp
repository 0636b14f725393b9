#include "platform/session_packets.h"

#include <cstring>

#include "platform/byte_reader.h"
#include "platform/byte_writer.h"
#include "platform/text.h"

namespace platform {

namespace {

constexpr uint32_t kQueryMagic = fourcc('M', 'R', 'V', 'Q');
constexpr uint32_t kReplyMagic = fourcc('M', 'R', 'V', 'R');
constexpr uint32_t kJoinMagic = fourcc('M', 'R', 'V', 'N');

// A text that runs from the reader's position to the end of the packet,
// cut to field_size - 1 characters and terminated.
void read_tail_text(ByteReader& in, char* out, std::size_t field_size) {
  std::memset(out, 0, field_size);
  std::size_t n = 0;
  while (in.can_read(1) && n + 1 < field_size) {
    const char c = static_cast<char>(in.u8());
    if (c == '\0') return;
    out[n++] = c;
  }
}

bool read_kind(ByteReader& in, PacketKind expected) {
  return in.u8() == static_cast<uint8_t>(expected) && in.ok();
}

std::size_t finish(const ByteWriter& out, std::size_t expected) {
  return out.size() == expected ? expected : 0;
}

// The kind, then a text of at most field_size - 1 characters to the end of
// the packet.
std::size_t encode_tail_text(PacketKind kind, const char* text, std::size_t field_size,
                             std::span<uint8_t> out_bytes) {
  ByteWriter out(out_bytes);
  out.u8(static_cast<uint8_t>(kind));
  const std::size_t length = strnlen(text, field_size - 1);
  out.bytes(reinterpret_cast<const uint8_t*>(text), length);
  return finish(out, 1 + length);
}

}  // namespace

std::array<uint8_t, kDiscoveryQuerySize> encode_discovery_query() {
  std::array<uint8_t, kDiscoveryQuerySize> bytes{};
  ByteWriter out(bytes);
  out.u32(kQueryMagic);
  out.u8(kSessionProtocolVersion);
  return bytes;
}

bool decode_discovery_query(std::span<const uint8_t> bytes) {
  ByteReader in(bytes);
  const uint32_t magic = in.u32();
  const uint8_t version = in.u8();
  return in.ok() && bytes.size() == kDiscoveryQuerySize && magic == kQueryMagic &&
         version == kSessionProtocolVersion;
}

std::array<uint8_t, kDiscoveryReplySize> encode_discovery_reply(const DiscoveryReply& reply) {
  std::array<uint8_t, kDiscoveryReplySize> bytes{};
  ByteWriter out(bytes);
  out.u32(kReplyMagic);
  out.u8(kSessionProtocolVersion);
  out.bytes(reply.instance.data(), reply.instance.size());
  out.u8(reply.current_players);
  out.u8(reply.max_players);
  out.u16(reply.game_port);
  out.text(reply.session_name, kDiscoveryNameField);
  out.u8(reply.computer_players <= reply.current_players ? reply.computer_players : reply.current_players);
  return bytes;
}

bool decode_discovery_reply(std::span<const uint8_t> bytes, DiscoveryReply& reply) {
  ByteReader in(bytes);
  const uint32_t magic = in.u32();
  const uint8_t version = in.u8();
  for (uint8_t& b : reply.instance) b = in.u8();
  reply.current_players = in.u8();
  reply.max_players = in.u8();
  reply.game_port = in.u16();
  in.text(reply.session_name, kDiscoveryNameField);
  reply.computer_players = in.u8();
  // A count beyond the players is nobody's: the game is listed as if it
  // had no computer players rather than not at all.
  if (reply.computer_players > reply.current_players) reply.computer_players = 0;
  return in.ok() && bytes.size() == kDiscoveryReplySize && magic == kReplyMagic &&
         version == kSessionProtocolVersion && reply.game_port != 0 &&
         reply.max_players <= kSessionMaxPlayers && reply.current_players <= reply.max_players;
}

std::size_t encode_join(const SessionInstance& instance, std::span<uint8_t> out_bytes) {
  ByteWriter out(out_bytes);
  out.u8(static_cast<uint8_t>(PacketKind::Join));
  out.u32(kJoinMagic);
  out.u8(kSessionProtocolVersion);
  out.bytes(instance.data(), instance.size());
  return finish(out, kJoinPacketSize);
}

std::size_t encode_accept(std::span<uint8_t> out_bytes) {
  ByteWriter out(out_bytes);
  out.u8(static_cast<uint8_t>(PacketKind::Accept));
  return finish(out, 1);
}

std::size_t encode_refuse(const char* reason, std::span<uint8_t> out) {
  return encode_tail_text(PacketKind::Refuse, reason, kRefusalTextSize, out);
}

std::size_t encode_create_player(const char* name, std::span<uint8_t> out) {
  char clean[kPlayerNameSize];
  clean_text({reinterpret_cast<const uint8_t*>(name), std::strlen(name)}, clean, sizeof clean);
  return encode_tail_text(PacketKind::CreatePlayer, clean, kPlayerNameSize, out);
}

std::size_t encode_welcome(const WelcomePacket& welcome, std::span<uint8_t> out_bytes) {
  ByteWriter out(out_bytes);
  const uint8_t count = welcome.player_count <= kSessionMaxPlayers ? welcome.player_count : 0;
  out.u8(static_cast<uint8_t>(PacketKind::Welcome));
  out.u32(welcome.player_id);
  out.u8(count);
  for (uint8_t i = 0; i < count; ++i) {
    out.u32(welcome.players[i].id);
    out.text(welcome.players[i].name, kPlayerNameSize);
  }
  return finish(out, 6 + count * (4 + kPlayerNameSize));
}

std::size_t encode_framed(PacketKind kind, std::span<const uint8_t> message,
                          std::span<uint8_t> out_bytes) {
  if (message.size() > kMaxSessionMessage) return 0;
  ByteWriter out(out_bytes);
  out.u8(static_cast<uint8_t>(kind));
  out.bytes(message.data(), message.size());
  return finish(out, 1 + message.size());
}

bool packet_kind(std::span<const uint8_t> packet, PacketKind& kind) {
  if (packet.empty()) return false;
  const uint8_t code = packet[0];
  if (code < static_cast<uint8_t>(PacketKind::Join) || code > static_cast<uint8_t>(PacketKind::Game))
    return false;
  kind = static_cast<PacketKind>(code);
  return true;
}

JoinCheck check_join(std::span<const uint8_t> packet, SessionInstance& instance) {
  ByteReader in(packet);
  if (!read_kind(in, PacketKind::Join)) return JoinCheck::WrongMagic;
  const uint32_t magic = in.u32();
  if (!in.ok()) return JoinCheck::WrongSize;
  if (magic != kJoinMagic) return JoinCheck::WrongMagic;
  const uint8_t version = in.u8();
  if (!in.ok()) return JoinCheck::WrongSize;
  if (version != kSessionProtocolVersion) return JoinCheck::OtherVersion;
  for (uint8_t& b : instance) b = in.u8();
  if (!in.ok() || packet.size() != kJoinPacketSize) return JoinCheck::WrongSize;
  return JoinCheck::Ok;
}

bool decode_join(std::span<const uint8_t> packet, SessionInstance& instance) {
  return check_join(packet, instance) == JoinCheck::Ok;
}

bool decode_refuse(std::span<const uint8_t> packet, char (&reason)[kRefusalTextSize]) {
  ByteReader in(packet);
  if (!read_kind(in, PacketKind::Refuse)) return false;
  read_tail_text(in, reason, kRefusalTextSize);
  return true;
}

bool decode_create_player(std::span<const uint8_t> packet, char (&name)[kPlayerNameSize]) {
  ByteReader in(packet);
  if (!read_kind(in, PacketKind::CreatePlayer)) return false;
  return clean_text(packet.subspan(1), name, kPlayerNameSize) > 0;
}

bool decode_welcome(std::span<const uint8_t> packet, WelcomePacket& welcome) {
  ByteReader in(packet);
  if (!read_kind(in, PacketKind::Welcome)) return false;
  welcome.player_id = in.u32();
  welcome.player_count = in.u8();
  if (!in.ok() || welcome.player_count == 0 || welcome.player_count > kSessionMaxPlayers)
    return false;
  for (uint8_t i = 0; i < welcome.player_count; ++i) {
    welcome.players[i].id = in.u32();
    in.text(welcome.players[i].name, kPlayerNameSize);
  }
  return in.ok();
}

bool decode_framed(std::span<const uint8_t> packet, std::span<const uint8_t>& message) {
  if (packet.size() < 1 + 4 || packet.size() > 1 + kMaxSessionMessage) return false;
  message = packet.subspan(1);
  return true;
}

std::size_t encode_system_message(uint32_t type, uint32_t player_id, const char* name,
                                  std::span<uint8_t> out_bytes) {
  ByteWriter out(out_bytes);
  out.u32(type);
  if (type == kSystemHost) return finish(out, 4);
  out.u32(player_id);
  if (type != kSystemCreatePlayer) return finish(out, 8);
  out.text(name ? name : "", kPlayerNameSize);
  return finish(out, kSystemMessageMax);
}

}  // namespace platform
