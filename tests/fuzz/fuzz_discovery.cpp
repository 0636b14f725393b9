// The discovery port: datagrams that reach a program listing the sessions
// (replies) or a host (queries). Each input is a run of datagrams, each a
// length byte and that many bytes; every reply that decodes is listed as the
// session layer lists it, so that a flood of answers meets the list's limit.
#include <cstring>

#include "net/session.h"
#include "platform/session_packets.h"
#include "tests/fuzz/fuzz_support.h"

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  auto game = make_session_game(false);
  std::size_t pos = 0;
  bool listing = true;
  while (pos < size) {
    const std::size_t declared = data[pos++];
    const std::size_t length = std::min(declared, size - pos);
    const std::span<const uint8_t> datagram(data + pos, length);
    pos += length;
    decode_discovery_query(datagram);
    DiscoveryReply reply;
    if (!decode_discovery_reply(datagram, reply)) continue;
    fuzz_require(std::memchr(reply.session_name, 0, sizeof reply.session_name) != nullptr,
                 "a session name ends inside its field");
    SessionDescription found;
    std::memcpy(found.session_name, reply.session_name, sizeof found.session_name);
    found.current_players = reply.current_players;
    found.max_players = reply.max_players;
    found.instance = reply.instance;
    if (listing) listing = on_session_found(static_cast<GameCore*>(game.get()), &found);
    check_game(*game);
  }
  return 0;
}

namespace {

void put_datagram(FuzzInput& out, std::span<const uint8_t> datagram) {
  out.push_back(static_cast<uint8_t>(datagram.size()));
  out.insert(out.end(), datagram.begin(), datagram.end());
}

}  // namespace

std::vector<FuzzSeed> fuzz_seeds() {
  FuzzInput query, replies;
  put_datagram(query, encode_discovery_query());
  for (uint8_t i = 0; i < 10; ++i) {
    DiscoveryReply reply;
    reply.instance.fill(i);
    reply.current_players = i % 8;
    reply.max_players = 8;
    reply.game_port = kGamePort;
    std::snprintf(reply.session_name, sizeof reply.session_name, "Player %d's game", i);
    put_datagram(replies, encode_discovery_reply(reply));
  }
  return {{"query", query}, {"ten_replies", replies}};
}
