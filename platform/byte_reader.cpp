#include "platform/byte_reader.h"

#include <cstring>

uint8_t ByteReader::u8() {
  if (!can_read(1)) {
    failed = true;
    return 0;
  }
  return data[pos++];
}

uint16_t ByteReader::u16() {
  const uint16_t low = u8();
  const uint16_t high = u8();
  return failed ? 0 : static_cast<uint16_t>(low | high << 8);
}

uint32_t ByteReader::u32() {
  const uint32_t low = u16();
  const uint32_t high = u16();
  return failed ? 0 : low | high << 16;
}

uint16_t ByteReader::u16_be() {
  const uint16_t high = u8();
  const uint16_t low = u8();
  return failed ? 0 : static_cast<uint16_t>(low | high << 8);
}

uint32_t ByteReader::u32_be() {
  const uint32_t high = u16_be();
  const uint32_t low = u16_be();
  return failed ? 0 : low | high << 16;
}

void ByteReader::seek(std::size_t position) {
  if (failed || position > size) {
    failed = true;
    return;
  }
  pos = position;
}

bool ByteReader::can_read(std::size_t count) const {
  return !failed && pos <= size && count <= size - pos;
}

float ByteReader::f32() {
  const uint32_t bits = u32();
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void ByteReader::text(char* out, std::size_t field_size) {
  std::memset(out, 0, field_size);
  if (field_size == 0) return;
  if (!can_read(field_size)) {
    failed = true;
    return;
  }
  const char* in = reinterpret_cast<const char*>(data + pos);
  std::memcpy(out, in, strnlen(in, field_size - 1));
  pos += field_size;
}
