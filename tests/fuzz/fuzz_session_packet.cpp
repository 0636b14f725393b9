// One packet of the game port, read by the host (join, player creation, game
// messages) and by a client (acceptance, refusal, welcome, system and game
// messages) with the session layer's decoders; what decodes goes on into
// the game as the session hands it over.
#include <cstring>

#include "net/protocol.h"
#include "net/session.h"
#include "platform/session_packets.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/message_seeds.h"

using namespace platform;

namespace {

template <std::size_t N>
bool terminated(const char (&text)[N]) {
  return std::memchr(text, 0, N) != nullptr;
}

void as_host(std::span<const uint8_t> packet, PacketKind kind) {
  auto game = make_session_game(true);
  SessionInstance instance;
  char name[platform::kPlayerNameSize];
  std::span<const uint8_t> message;
  if (kind == PacketKind::Join) decode_join(packet, instance);
  if (kind == PacketKind::CreatePlayer && decode_create_player(packet, name))
    fuzz_require(terminated(name) && name[0] != '\0', "a created player has a name inside its field");
  if (kind == PacketKind::Game && decode_framed(packet, message)) {
    fuzz_require(message.size() >= 4 && message.size() <= kMaxSessionMessage, "a framed message has a size in bounds");
    handle_game_message(*game, message, 2, DPID_SERVERPLAYER);
  }
  check_game(*game);
}

void as_client(std::span<const uint8_t> packet, PacketKind kind) {
  auto game = make_session_game(false);
  char reason[kRefusalTextSize];
  WelcomePacket welcome;
  std::span<const uint8_t> message;
  if (kind == PacketKind::Refuse && decode_refuse(packet, reason))
    fuzz_require(terminated(reason), "a refusal's reason ends inside its field");
  if (kind == PacketKind::Welcome && decode_welcome(packet, welcome)) {
    fuzz_require(welcome.player_count >= 1 && welcome.player_count <= kSessionMaxPlayers,
                 "a welcome lists 1 to 8 players");
    game->session.players_found = 0;
    for (uint8_t i = 0; i < welcome.player_count; ++i) {
      fuzz_require(terminated(welcome.players[i].name), "player names end inside their field");
      GameCore* core = game.get();
      if (!on_player_found(core, welcome.players[i].id, welcome.players[i].name)) break;
    }
  }
  if ((kind == PacketKind::System || kind == PacketKind::Game) && decode_framed(packet, message)) {
    if (kind == PacketKind::System) handle_system_message(*game, message);
    else handle_game_message(*game, message, DPID_SERVERPLAYER, game->world.tank.local_player_id);
  }
  check_game(*game);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::span<const uint8_t> packet(data, size);
  PacketKind kind;
  if (!packet_kind(packet, kind)) return 0;
  as_host(packet, kind);
  as_client(packet, kind);
  return 0;
}

namespace {

FuzzInput packet_of(std::span<const uint8_t> bytes, std::size_t size) {
  return FuzzInput(bytes.begin(), bytes.begin() + static_cast<long>(size));
}

}  // namespace

std::vector<FuzzSeed> fuzz_seeds() {
  std::array<uint8_t, 1024> out{};
  std::vector<FuzzSeed> seeds;
  SessionInstance instance;
  instance.fill(7);
  seeds.push_back({"join", packet_of(out, encode_join(instance, out))});
  seeds.push_back({"accept", packet_of(out, encode_accept(out))});
  seeds.push_back({"refuse", packet_of(out, encode_refuse("The game is full.", out))});
  seeds.push_back({"create_player", packet_of(out, encode_create_player("Newcomer", out))});
  WelcomePacket welcome;
  welcome.player_id = 3;
  welcome.player_count = 3;
  for (uint8_t i = 0; i < 3; ++i) {
    welcome.players[i].id = i + 1u;
    std::snprintf(welcome.players[i].name, sizeof welcome.players[i].name, "Player %d", i + 1);
  }
  seeds.push_back({"welcome", packet_of(out, encode_welcome(welcome, out))});
  std::array<uint8_t, kSystemMessageMax> system{};
  const std::size_t system_size = encode_system_message(kSystemCreatePlayer, 3, "Newcomer", system);
  seeds.push_back({"system", packet_of(out, encode_framed(PacketKind::System, std::span(system).first(system_size), out))});
  for (const FuzzSeed& message : game_message_seeds())
    seeds.push_back({"game_" + message.name, packet_of(out, encode_framed(PacketKind::Game, message.bytes, out))});
  return seeds;
}
