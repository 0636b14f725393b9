// A music track through the check every MIDI file passes before it is handed
// to the synthesizer.
#include "audio/midi_file.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

uint32_t big_endian_u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // A copy of exactly the input, so that a read past its end is caught.
  const FuzzInput bytes(data, data + size);
  if (!is_standard_midi_file(bytes.data(), bytes.size())) return 0;
  fuzz_require(size >= 14 && big_endian_u32(bytes.data() + 4) >= 6, "an accepted file has a whole header");
  return 0;
}

namespace {

void put_be32(FuzzInput& out, uint32_t value) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void put_chunk(FuzzInput& out, const char* id, const FuzzInput& body) {
  put_text(out, id);
  put_be32(out, static_cast<uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
}

}  // namespace

std::vector<FuzzSeed> fuzz_seeds() {
  FuzzInput file;
  put_chunk(file, "MThd", {0, 1, 0, 2, 0, 96});
  put_chunk(file, "MTrk", {0, 0xFF, 0x51, 3, 0x07, 0xA1, 0x20, 0, 0xFF, 0x2F, 0});
  put_chunk(file, "XTRA", {1, 2, 3});
  put_chunk(file, "MTrk", {0, 0xC0, 30, 0, 0x90, 60, 100, 96, 0x80, 60, 0, 0, 0xFF, 0x2F, 0});
  return {{"two_tracks", file}};
}
