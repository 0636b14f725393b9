#include "platform/game_probe.h"

#include <enet/enet.h>

#include <chrono>

namespace platform {

namespace {

constexpr uint32_t kRepeatMs = 500;
constexpr int kAttempts = 3;
constexpr int kRepliesPerPoll = 64;

uint32_t now_ms() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

struct GameProbe {
  ENetSocket socket = ENET_SOCKET_NULL;
  uint16_t discovery_port = kDiscoveryPort;
  std::array<ListedGame, kMaxListedGames> games{};
  std::size_t count = 0;
  std::array<ProbeResult, kMaxListedGames> results{};
  std::array<bool, kMaxListedGames> replied{};  // in this round of queries
  uint32_t first_sent = 0;
  uint32_t last_sent = 0;
  int attempts = 0;
};

GameProbe* create_game_probe(uint16_t discovery_port) {
  const ENetSocket socket = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
  if (socket == ENET_SOCKET_NULL) return nullptr;
  enet_socket_set_option(socket, ENET_SOCKOPT_NONBLOCK, 1);
  if (enet_socket_bind(socket, nullptr) != 0) {
    enet_socket_destroy(socket);
    return nullptr;
  }
  auto* probe = new GameProbe;
  probe->socket = socket;
  probe->discovery_port = discovery_port;
  return probe;
}

void release_game_probe(GameProbe* probe) {
  if (!probe) return;
  enet_socket_destroy(probe->socket);
  delete probe;
}

namespace {

void send_to(ENetSocket socket, uint32_t host, uint16_t port) {
  static const auto query = encode_discovery_query();
  ENetAddress to{};
  to.host = host;
  to.port = port;
  ENetBuffer data{};
  data.data = const_cast<uint8_t*>(query.data());
  data.dataLength = query.size();
  enet_socket_send(socket, &to, &data, 1);
}

void send_round(GameProbe& probe) {
  for (std::size_t i = 0; i < probe.count; ++i) {
    if (probe.replied[i]) continue;
    send_to(probe.socket, probe.games[i].host, probe.games[i].port);
    if (probe.games[i].port != probe.discovery_port) send_to(probe.socket, probe.games[i].host, probe.discovery_port);
  }
  probe.last_sent = now_ms();
  ++probe.attempts;
}

}  // namespace

void probe_games(GameProbe* probe, const ListedGames& games) {
  if (!probe) return;
  // A game asked before keeps its last answer until it answers again, so
  // that the list does not blank out at every reading.
  std::array<ProbeResult, kMaxListedGames> results{};
  for (std::size_t i = 0; i < games.count; ++i) {
    for (std::size_t old = 0; old < probe->count; ++old)
      if (probe->games[old].host == games.games[i].host && probe->games[old].port == games.games[i].port)
        results[i] = probe->results[old];
  }
  probe->count = games.count;
  for (std::size_t i = 0; i < games.count; ++i) probe->games[i] = games.games[i];
  probe->results = results;
  probe->replied.fill(false);
  probe->attempts = 0;
  send_round(*probe);
  probe->first_sent = probe->last_sent;
}

bool poll_game_probe(GameProbe* probe) {
  if (!probe) return false;
  bool changed = false;
  for (int n = 0; n < kRepliesPerPoll; ++n) {
    std::array<uint8_t, kDiscoveryReplySize + 1> buffer{};
    ENetAddress from{};
    ENetBuffer data{};
    data.data = buffer.data();
    data.dataLength = buffer.size();
    const int length = enet_socket_receive(probe->socket, &from, &data, 1);
    if (length == 0) break;
    DiscoveryReply reply;
    if (length < 0 || !decode_discovery_reply({buffer.data(), static_cast<std::size_t>(length)}, reply)) continue;
    // The reply belongs to the game at that address whose game port it
    // came from, or, from the discovery port, whose game port it names
    // (several games may share one machine and its discovery port).
    for (std::size_t i = 0; i < probe->count; ++i) {
      const ListedGame& game = probe->games[i];
      if (game.host != from.host) continue;
      const bool from_game_port = from.port == game.port;
      const bool from_discovery = from.port == probe->discovery_port && reply.game_port == game.port;
      if (!from_game_port && !from_discovery) continue;
      ProbeResult& result = probe->results[i];
      if (probe->replied[i]) break;
      probe->replied[i] = true;
      result.answered = true;
      // Timed from the first query: a reply to a repeated one can only
      // make the round trip look longer, never better than it is.
      result.round_trip_ms = now_ms() - probe->first_sent;
      result.reply = reply;
      changed = true;
      break;
    }
  }
  if (probe->attempts < kAttempts && now_ms() - probe->last_sent >= kRepeatMs) send_round(*probe);
  return changed;
}

const ProbeResult& probe_result(const GameProbe* probe, std::size_t index) {
  static const ProbeResult none;
  if (!probe || index >= probe->count) return none;
  return probe->results[index];
}

}  // namespace platform
