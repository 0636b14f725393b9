// One game message as a client receives it from the host.
#include "tests/fuzz/message_seeds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  fuzz_one_game_message(false, data, size);
  return 0;
}

std::vector<FuzzSeed> fuzz_seeds() { return game_message_seeds(); }
