// Bounded reading of untrusted bytes (wave and MIDI files).
#pragma once

#include <cstddef>
#include <cstdint>

// A bounded little-endian reader with a sticky error: a read past the end
// sets `failed`, returns 0, and every later read fails too. Callers check
// `failed` once after a group of reads.
struct ByteReader {
  const uint8_t* data = nullptr;
  std::size_t size = 0;
  std::size_t pos = 0;
  bool failed = false;

  uint8_t u8();
  uint16_t u16();
  uint32_t u32();
  // Big-endian reads, for MIDI files.
  uint16_t u16_be();
  uint32_t u32_be();
  // Moves to an absolute position; a position past the end fails.
  void seek(std::size_t position);
  // Checks that `count` bytes can be read from here, without moving.
  bool can_read(std::size_t count) const;
};

constexpr uint32_t fourcc(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
         static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

