// What every fuzz target supplies: the entry libFuzzer calls with one input,
// and the seed inputs our own code makes for it. The same target source is
// built as a libFuzzer program (make fuzz) and as a replay program that
// feeds it its seeds and the saved inputs as an ordinary test (make test).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using FuzzInput = std::vector<uint8_t>;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

// Seeds named for the files they are written to.
struct FuzzSeed {
  std::string name;
  FuzzInput bytes;
};
std::vector<FuzzSeed> fuzz_seeds();
