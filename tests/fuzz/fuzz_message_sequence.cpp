// Several messages into one game, with the frame's other network work in
// between, so that state carried from message to message is explored.
//
// The input: one byte of set-up (bit 0: this program is the host; bit 1:
// networking switched off later, as after Disconnect), then operations, each
// an operation byte and its arguments:
//   0 from len_lo len_hi bytes  a message arrives from player `from` % 4
//                               (0 is the session itself: a system message),
//                               having waited (`from` / 4) x 4 ms to be taken
//   1                           the frame's receive stage
//   2 step                      projectiles and smoke advance by (step + 1) / 64
//   3 slot damage               the host's damage to a player slot
//   4                           the local tank fires
//   5                           the local tank's status goes out
#include "net/protocol.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/message_seeds.h"
#include "world/projectiles.h"

namespace {

enum Operation : uint8_t { kArrive, kReceive, kAdvance, kDamage, kFire, kStatus, kOperationCount };

struct Cursor {
  const uint8_t* data;
  std::size_t size;
  std::size_t pos = 0;
  bool more() const { return pos < size; }
  uint8_t byte() { return pos < size ? data[pos++] : 0; }
};

void arrive(Cursor& in) {
  const uint8_t from_byte = in.byte();
  std::size_t length = in.byte();
  length |= static_cast<std::size_t>(in.byte()) << 8;
  length = std::min(length, in.size - in.pos);
  fuzz_wire().inbox.push_back({from_byte % 4u, FuzzInput(in.data + in.pos, in.data + in.pos + length),
                               static_cast<uint32_t>(from_byte / 4) * 4});
  in.pos += length;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  Cursor in{data, size};
  const uint8_t setup = in.byte();
  auto game = make_session_game(setup & 1);
  while (in.more()) {
    switch (in.byte() % kOperationCount) {
      case kArrive: arrive(in); break;
      case kReceive: receive_messages(*game); break;
      case kAdvance: {
        const float step = static_cast<float>(in.byte() + 1) / 64.0f;
        advance_projectiles(*game, step);
        advance_particles(*game, step);
        break;
      }
      case kDamage: {
        const int32_t slot = static_cast<int32_t>(in.byte() % 10) - 1;
        send_damage(*game, slot, static_cast<int32_t>(in.byte()) - 128);
        break;
      }
      case kFire: fire_shell(*game); break;
      case kStatus: send_status(*game); break;
    }
    if (setup & 2) game->settings.use_tcpip = 0;
    check_game(*game);
  }
  receive_messages(*game);
  check_game(*game);
  return 0;
}

namespace {

FuzzInput sequence(uint8_t setup) {
  FuzzInput out{setup};
  auto arrive_from = [&out](uint8_t from, const FuzzInput& bytes) {
    out.insert(out.end(), {kArrive, from, static_cast<uint8_t>(bytes.size()), static_cast<uint8_t>(bytes.size() >> 8)});
    out.insert(out.end(), bytes.begin(), bytes.end());
  };
  for (const FuzzSeed& seed : system_message_seeds())
    if (seed.name == "joined") arrive_from(0, seed.bytes);
  for (const FuzzSeed& seed : game_message_seeds()) {
    arrive_from(2, seed.bytes);
    out.insert(out.end(), {kReceive, kAdvance, 63, kFire, kStatus});
  }
  // The same again, each having waited 200 ms (stale, for a shot).
  for (const FuzzSeed& seed : game_message_seeds()) {
    arrive_from(2 + 4 * 50, seed.bytes);
    out.push_back(kReceive);
  }
  out.insert(out.end(), {kDamage, 2, 128 + 50, kReceive, kAdvance, 0});
  for (const FuzzSeed& seed : system_message_seeds()) {
    arrive_from(0, seed.bytes);
    out.push_back(kReceive);
  }
  return out;
}

}  // namespace

std::vector<FuzzSeed> fuzz_seeds() {
  return {{"host", sequence(1)}, {"client", sequence(0)}, {"host_disconnected", sequence(3)}};
}
