// The host's game port answers two datagrams that are not ENet's: the
// list's proof, echoed so that the list sees the port reachable from the
// internet, and the discovery query, answered as on the discovery port so
// that a host behind a router needs only its game port open. ENet's
// intercept hook sees every datagram on the socket before ENet does.
//
// ENet's own datagrams never begin with our magic: their first two bytes
// are the peer id (big-endian) with flags in the top four bits, and "MR"
// leaves the id 0xD52, far above the host's 64 peers, so ENet would drop
// such a datagram anyway. Taking every datagram that begins with "MRVP" or
// "MRVQ" therefore takes nothing from ENet.
#include <enet/enet.h>

#include <cstring>

#include "platform/peer_session.h"

namespace platform {

namespace {

constexpr std::size_t kMagicSize = 4;
constexpr std::size_t kProofSize = 21;  // "MRVP", the version, a 16-byte token
constexpr uint8_t kProofVersion = 1;

// The session whose host is being served on this thread; the hook has no
// other way to find it, since ENet's host carries no pointer of ours.
thread_local PeerSession* t_serving = nullptr;

bool has_magic(std::span<const uint8_t> datagram, const char* magic) {
  return datagram.size() >= kMagicSize && std::memcmp(datagram.data(), magic, kMagicSize) == 0;
}

void send_from_game_port(ENetHost* host, const uint8_t* bytes, std::size_t size) {
  ENetBuffer data{};
  data.data = const_cast<uint8_t*>(bytes);
  data.dataLength = size;
  enet_socket_send(host->socket, &host->receivedAddress, &data, 1);
}

// 1 for a datagram of ours (answered, or ignored and counted when
// malformed), 0 for one left to ENet.
int ENET_CALLBACK answer_on_game_port(ENetHost* host, ENetEvent*) {
  PeerSession* s = t_serving;
  if (!s || s->host != host || s->mode != Mode::Host) return 0;
  const std::span<const uint8_t> datagram{host->receivedData, host->receivedDataLength};
  if (has_magic(datagram, "MRVP")) {
    if (datagram.size() != kProofSize || datagram[kMagicSize] != kProofVersion) {
      complain(s->malformed);
      return 1;
    }
    std::array<uint8_t, kProofSize> echo{};
    std::memcpy(echo.data(), datagram.data(), kProofSize);
    std::memcpy(echo.data(), "MRVE", kMagicSize);
    send_from_game_port(host, echo.data(), echo.size());
    return 1;
  }
  if (has_magic(datagram, "MRVQ")) {
    if (!decode_discovery_query(datagram)) {
      complain(s->malformed);
      return 1;
    }
    describe_players(*s);  // the game port may be asked before the host's first service
    const auto reply = encode_discovery_reply(s->description);
    send_from_game_port(host, reply.data(), reply.size());
    return 1;
  }
  return 0;
}

}  // namespace

void answer_on_game_port(PeerSession& s) {
  if (s.host) s.host->intercept = answer_on_game_port;
}

ServingSession::ServingSession(PeerSession& s) : previous(t_serving) { t_serving = &s; }
ServingSession::~ServingSession() { t_serving = previous; }

}  // namespace platform
