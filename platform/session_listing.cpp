// Listing games: queries to the discovery port of the local network or of
// one address, and each game that answers reported once.
#include <enet/enet.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/discovery.h"
#include "platform/peer_session.h"

namespace platform {

namespace {

struct Listing {
  PeerSession* session;
  SessionFound found;
  void* context;
  bool more;  // false once found has asked to stop
  std::chrono::steady_clock::time_point start;  // the first query
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
  description.computer_players = reply.computer_players;
  description.max_players = reply.max_players;
  description.instance = reply.instance;
  // A game answers the first query unless it was lost: the time since it
  // left is the round trip, or more.
  description.round_trip_ms = static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                        std::chrono::steady_clock::now() - listing.start)
                                                        .count());
  listing.more = listing.found(listing.context, &description);
  return listing.more;
}

}  // namespace

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
  Listing listing{&s, found, context, true, std::chrono::steady_clock::now()};
  const bool sent = query_sessions(targets, s.ports.discovery, timeout_ms, reply_arrived, &listing);
  if (listing.more) found(context, nullptr);  // the time-out
  return sent;
}

}  // namespace platform
