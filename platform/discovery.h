// Finding sessions: the discovery exchange on its own UDP port, below the
// peer session. Internal to the platform layer.
#pragma once

#include <enet/enet.h>

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/session_packets.h"

namespace platform {

// Where a query goes: every IPv4 interface's broadcast address (the
// loopback's 127.255.255.255 included), at most kMaxQueryTargets of them.
inline constexpr std::size_t kMaxQueryTargets = 16;
struct QueryTargets {
  std::array<uint32_t, kMaxQueryTargets> hosts{};  // network byte order
  std::size_t count = 0;
};
QueryTargets broadcast_targets();
// One address given by name or dotted numbers; false when it does not resolve.
bool address_target(const char* address, QueryTargets& targets);

// Sends a query to every target's discovery port and calls answered for
// every valid reply until timeout_ms has passed or answered returns false.
// `from` is the replying host's address. False when nothing could be sent.
using ReplyHandler = bool (*)(void* context, const DiscoveryReply& reply, const ENetAddress& from);
bool query_sessions(const QueryTargets& targets, uint16_t discovery_port, uint32_t timeout_ms,
                    ReplyHandler answered, void* context);

// The host's listener: bound to every address on the discovery port,
// shared with other hosts on the same machine. ENET_SOCKET_NULL on failure.
ENetSocket open_discovery_listener(uint16_t discovery_port);
// Answers the queries waiting on the listener (a bounded number per call).
// Returns how many datagrams were not valid queries.
uint32_t answer_queries(ENetSocket listener, const DiscoveryReply& reply);

}  // namespace platform
