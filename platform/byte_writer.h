// Little-endian writing of fixed records for the network: the counterpart
// of ByteReader. Fields land at the offsets their layout gives because they
// are written strictly in order; a write that would pass the end of the
// record is dropped, so a record can never overrun its buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

class ByteWriter {
 public:
  explicit ByteWriter(std::span<uint8_t> out) : out_(out) {}
  void u8(uint8_t value) {
    if (pos_ + 1 > out_.size()) return;
    out_[pos_++] = value;
  }
  void u16(uint16_t value) {
    u8(static_cast<uint8_t>(value));
    u8(static_cast<uint8_t>(value >> 8));
  }
  void u32(uint32_t value) {
    if (pos_ + 4 > out_.size()) return;
    for (int i = 0; i < 4; ++i) out_[pos_++] = static_cast<uint8_t>(value >> (8 * i));
  }
  void i32(int32_t value) { u32(static_cast<uint32_t>(value)); }
  void f32(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    u32(bits);
  }
  void bytes(const uint8_t* data, std::size_t size) {
    if (pos_ + size > out_.size()) return;
    std::memcpy(&out_[pos_], data, size);
    pos_ += size;
  }
  // A fixed text field of `size` bytes: at most size - 1 characters, the
  // rest stays zero (the NUL and the padding).
  void text(const char* text, std::size_t size) {
    if (size == 0 || pos_ + size > out_.size()) return;
    const std::size_t n = strnlen(text, size - 1);
    std::memcpy(&out_[pos_], text, n);
    pos_ += size;
  }
  std::size_t size() const { return pos_; }

 private:
  std::span<uint8_t> out_;
  std::size_t pos_ = 0;
};
