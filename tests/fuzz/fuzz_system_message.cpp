// One system message of the session layer, into a client's game.
#include "net/protocol.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/message_seeds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  auto game = make_session_game(false);
  handle_system_message(*game, {data, size});
  check_game(*game);
  return 0;
}

std::vector<FuzzSeed> fuzz_seeds() { return system_message_seeds(); }
