// Asking the games of the public lists about themselves: the discovery
// query goes to each game's address, at its game port (which answers
// queries) and at the discovery port as a fallback, without waiting; each
// reply gives the game's instance and players and the round trip it took.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/list_reader.h"
#include "platform/session_packets.h"

namespace platform {

struct ProbeResult {
  bool answered = false;
  uint32_t round_trip_ms = 0;
  DiscoveryReply reply{};
};

struct GameProbe;  // opaque; owned by this layer

// Null when no socket can be opened.
GameProbe* create_game_probe(uint16_t discovery_port);
void release_game_probe(GameProbe* probe);
// Sends the query to every game now; the games are remembered by their
// place in the table, and one already asked keeps its last result until it
// answers again.
void probe_games(GameProbe* probe, const ListedGames& games);
// Takes the replies waiting and repeats the query to games that have not
// answered yet (a lost datagram must not hide a game); true when a result
// changed.
bool poll_game_probe(GameProbe* probe);
// The result for the game at index of the table last probed.
const ProbeResult& probe_result(const GameProbe* probe, std::size_t index);

}  // namespace platform
