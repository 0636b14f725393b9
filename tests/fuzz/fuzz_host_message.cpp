// One game message as the host receives it: handled, numbered, relayed.
#include "tests/fuzz/message_seeds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  fuzz_one_game_message(true, data, size);
  return 0;
}

std::vector<FuzzSeed> fuzz_seeds() { return game_message_seeds(); }
