// Bounded reading of untrusted bytes: files (waves, MIDI, bitmaps) and
// network messages all go through this one reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// A little-endian reader with a sticky error: a read past the end sets
// `failed` and yields 0, and every later read fails too. Callers check
// ok() once after a group of reads.
struct ByteReader {
  const uint8_t* data = nullptr;
  std::size_t size = 0;
  std::size_t pos = 0;
  bool failed = false;

  ByteReader() = default;
  ByteReader(const uint8_t* bytes, std::size_t count) : data(bytes), size(count) {}
  explicit ByteReader(std::span<const uint8_t> bytes) : data(bytes.data()), size(bytes.size()) {}

  uint8_t u8();
  uint16_t u16();
  uint32_t u32();
  int32_t i32() { return static_cast<int32_t>(u32()); }
  float f32();  // IEEE 754 single precision
  // Big-endian reads, for MIDI files.
  uint16_t u16_be();
  uint32_t u32_be();
  // A fixed text field of field_size bytes; the copy in out (field_size
  // bytes) always ends in a NUL, so an unterminated text is cut short.
  void text(char* out, std::size_t field_size);
  // Moves to an absolute position; a position past the end fails.
  void seek(std::size_t position);
  // Checks that `count` bytes can be read from here, without moving.
  bool can_read(std::size_t count) const;
  bool ok() const { return !failed; }
};

constexpr uint32_t fourcc(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
         static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}
