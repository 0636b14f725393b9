// sound.pak: the waves at the archive's two fixed offsets, located as the
// sound loader does (the bytes from the offset to the end of the file).
#include <algorithm>

#include "audio/sound.h"
#include "audio/wave_reader.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  for (const int32_t offset : {kSpareSoundOffset, kShotSoundOffset}) {
    if (static_cast<std::size_t>(offset) > size) continue;
    const std::size_t available = size - static_cast<std::size_t>(offset);
    // The loader reads the file into a buffer of its own; so does the target,
    // so that a read past the wave's bytes is caught whatever follows them.
    const FuzzInput bytes(data + offset, data + size);
    WaveLocation wave;
    if (!locate_wave(bytes.data(), available, 0, wave)) continue;
    fuzz_require(wave.format.format_tag == kWaveFormatPcm, "only PCM waves are accepted");
    fuzz_require(wave.data_offset <= available && wave.data_bytes <= available - wave.data_offset,
                 "the samples lie inside the file");
  }
  return 0;
}

namespace {

FuzzInput wave(uint32_t sample_count, uint8_t first_sample) {
  FuzzInput out;
  put_text(out, "RIFF");
  put_u32(out, 4 + 8 + 16 + 8 + sample_count + (sample_count & 1u));
  put_text(out, "WAVEfmt ");
  put_u32(out, 16);
  put_u16(out, kWaveFormatPcm);
  put_u16(out, 1);
  put_u32(out, 22050);
  put_u32(out, 22050);
  put_u16(out, 1);
  put_u16(out, 8);
  put_text(out, "data");
  put_u32(out, sample_count);
  for (uint32_t k = 0; k < sample_count + (sample_count & 1u); ++k) out.push_back(static_cast<uint8_t>(first_sample + k));
  return out;
}

// Waves at the archive's offsets, as the sound archive holds them.
FuzzInput sound_archive(const FuzzInput& spare, const FuzzInput& shot) {
  const std::size_t shot_at = shot.empty() ? 0 : static_cast<std::size_t>(kShotSoundOffset);
  FuzzInput out(std::max(1 + spare.size(), shot_at + shot.size()), 0);
  std::copy(spare.begin(), spare.end(), out.begin() + kSpareSoundOffset);
  std::copy(shot.begin(), shot.end(), out.begin() + static_cast<long>(shot_at));
  return out;
}

}  // namespace

std::vector<FuzzSeed> fuzz_seeds() {
  return {{"first_wave_only", sound_archive(wave(17, 0), {})},
          {"two_waves", sound_archive(wave(64, 0x80), wave(101, 0x40))}};
}
