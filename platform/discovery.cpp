#include "platform/discovery.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <chrono>

namespace platform {

namespace {

// A listener answers at most this many datagrams per call, so a flood of
// queries cannot hold up a frame.
constexpr int kQueriesPerCall = 32;
// A listing repeats its query this often.
constexpr uint32_t kQueryRepeatMs = 250;

void add_target(QueryTargets& targets, uint32_t host) {
  for (std::size_t i = 0; i < targets.count; ++i)
    if (targets.hosts[i] == host) return;
  if (targets.count < targets.hosts.size()) targets.hosts[targets.count++] = host;
}

uint32_t ipv4_of(const sockaddr* address) {
  return reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr;
}

// Reads one datagram without blocking: its length, 0 when none is waiting,
// or -1 for one that could not be read whole (it is gone either way).
int receive_datagram(ENetSocket socket, ENetAddress& from, uint8_t* buffer, std::size_t size) {
  ENetBuffer data{};
  data.data = buffer;
  data.dataLength = size;
  return enet_socket_receive(socket, &from, &data, 1);
}

uint32_t milliseconds_since(std::chrono::steady_clock::time_point start) {
  const auto elapsed = std::chrono::steady_clock::now() - start;
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

// Hands every valid reply waiting on the socket to answered; false once
// answered asks to stop.
bool take_replies(ENetSocket socket, ReplyHandler answered, void* context) {
  for (int n = 0; n < kQueriesPerCall; ++n) {
    std::array<uint8_t, kDiscoveryReplySize + 1> buffer{};
    ENetAddress from{};
    const int length = receive_datagram(socket, from, buffer.data(), buffer.size());
    if (length == 0) break;
    DiscoveryReply reply;
    if (length > 0 && decode_discovery_reply({buffer.data(), static_cast<std::size_t>(length)}, reply) &&
        !answered(context, reply, from))
      return false;
  }
  return true;
}

bool send_queries(ENetSocket socket, const QueryTargets& targets, uint16_t port) {
  const auto query = encode_discovery_query();
  bool sent = false;
  for (std::size_t i = 0; i < targets.count; ++i) {
    ENetAddress to{};
    to.host = targets.hosts[i];
    to.port = port;
    ENetBuffer data{};
    data.data = const_cast<uint8_t*>(query.data());
    data.dataLength = query.size();
    if (enet_socket_send(socket, &to, &data, 1) > 0) sent = true;
  }
  return sent;
}

}  // namespace

QueryTargets broadcast_targets() {
  QueryTargets targets;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) list = nullptr;
  for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
    if (!(entry->ifa_flags & IFF_UP) || !entry->ifa_netmask) continue;
    // The loopback has no broadcast flag but still takes its broadcast
    // address, so games on this machine are found like those next door.
    add_target(targets, ipv4_of(entry->ifa_addr) | ~ipv4_of(entry->ifa_netmask));
  }
  if (list) freeifaddrs(list);
  if (targets.count == 0) add_target(targets, htonl(INADDR_BROADCAST));
  return targets;
}

bool address_target(const char* address, QueryTargets& targets) {
  ENetAddress resolved{};
  if (enet_address_set_host(&resolved, address) != 0) return false;
  add_target(targets, resolved.host);
  return true;
}

bool query_sessions(const QueryTargets& targets, uint16_t discovery_port, uint32_t timeout_ms,
                    ReplyHandler answered, void* context) {
  const ENetSocket socket = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
  if (socket == ENET_SOCKET_NULL) return false;
  enet_socket_set_option(socket, ENET_SOCKOPT_BROADCAST, 1);
  enet_socket_set_option(socket, ENET_SOCKOPT_NONBLOCK, 1);
  bool sent = false;
  if (enet_socket_bind(socket, nullptr) == 0) {
    const auto start = std::chrono::steady_clock::now();
    bool listening = true;
    uint32_t next_query = 0;
    while (listening) {
      const uint32_t elapsed = milliseconds_since(start);
      if (elapsed >= timeout_ms) break;
      // The query goes out again every so often: a datagram lost on the way
      // must not hide a game for the whole listing.
      if (elapsed >= next_query) {
        sent = send_queries(socket, targets, discovery_port) || sent;
        next_query = elapsed + kQueryRepeatMs;
      }
      enet_uint32 condition = ENET_SOCKET_WAIT_RECEIVE;
      const uint32_t wait = std::min(timeout_ms, next_query) - elapsed;
      if (enet_socket_wait(socket, &condition, wait) != 0) break;
      if (condition & ENET_SOCKET_WAIT_RECEIVE) listening = take_replies(socket, answered, context);
    }
  }
  enet_socket_destroy(socket);
  return sent;
}

ENetSocket open_discovery_listener(uint16_t discovery_port) {
  const ENetSocket socket = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
  if (socket == ENET_SOCKET_NULL) return socket;
  enet_socket_set_option(socket, ENET_SOCKOPT_REUSEADDR, 1);
  enet_socket_set_option(socket, ENET_SOCKOPT_BROADCAST, 1);
  enet_socket_set_option(socket, ENET_SOCKOPT_NONBLOCK, 1);
  ENetAddress address{};
  address.host = ENET_HOST_ANY;
  address.port = discovery_port;
  if (enet_socket_bind(socket, &address) != 0) {
    enet_socket_destroy(socket);
    return ENET_SOCKET_NULL;
  }
  return socket;
}

uint32_t answer_queries(ENetSocket listener, const DiscoveryReply& reply) {
  if (listener == ENET_SOCKET_NULL) return 0;
  const auto bytes = encode_discovery_reply(reply);
  uint32_t rejected = 0;
  for (int n = 0; n < kQueriesPerCall; ++n) {
    std::array<uint8_t, kDiscoveryQuerySize + 1> buffer{};
    ENetAddress from{};
    const int length = receive_datagram(listener, from, buffer.data(), buffer.size());
    if (length == 0) break;
    if (length < 0 || !decode_discovery_query({buffer.data(), static_cast<std::size_t>(length)})) {
      ++rejected;
      continue;
    }
    ENetBuffer data{};
    data.data = const_cast<uint8_t*>(bytes.data());
    data.dataLength = bytes.size();
    enet_socket_send(listener, &from, &data, 1);
  }
  return rejected;
}

}  // namespace platform
