// The RIFF WAVE reader behind the sound loader: finds a wave inside a larger
// file at a byte offset, the way the sound archive stores its sounds.
#pragma once

#include <cstddef>
#include <cstdint>

// The 18-byte format record at the start of a wave's format chunk.
struct WaveFormat {
  uint16_t format_tag = 0;  // 1 is PCM
  uint16_t channels = 0;
  uint32_t samples_per_second = 0;
  uint32_t average_bytes_per_second = 0;
  uint16_t block_align = 0;
  uint16_t bits_per_sample = 0;
  uint16_t extra_bytes = 0;
};

struct WaveLocation {
  WaveFormat format{};
  std::size_t data_offset = 0;  // where the samples start in the buffer
  uint32_t data_bytes = 0;
};

inline constexpr uint16_t kWaveFormatPcm = 1;

// Looks from `offset` onwards for a RIFF chunk of form "WAVE" (skipping other
// chunks), takes its first sub-chunk as the format chunk whatever its
// identifier, reads the 18-byte format record from its start (which may run
// past a 16-byte chunk), requires the PCM tag, and finds the "data" chunk
// after it inside the RIFF chunk. The samples must lie wholly inside `bytes`.
// False on any failure.
bool locate_wave(const uint8_t* bytes, std::size_t size, std::size_t offset, WaveLocation& out);
