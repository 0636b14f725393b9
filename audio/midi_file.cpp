#include "audio/midi_file.h"

#include "platform/byte_reader.h"

bool is_standard_midi_file(const uint8_t* bytes, std::size_t size) {
  ByteReader in{bytes, size};
  const uint32_t id = in.u32();
  const uint32_t header_length = in.u32_be();
  const std::size_t header_data = in.pos;
  const uint16_t format = in.u16_be();
  const uint16_t tracks = in.u16_be();
  const uint16_t division = in.u16_be();
  if (in.failed || id != fourcc('M', 'T', 'h', 'd') || header_length < 6 || format > 2 ||
      tracks == 0 || division == 0 || !in.can_read(header_length - 6))
    return false;
  in.seek(header_data + header_length);

  uint32_t tracks_found = 0;
  while (tracks_found < tracks) {
    const uint32_t chunk_id = in.u32();
    const uint32_t length = in.u32_be();
    if (in.failed || !in.can_read(length)) return false;
    if (chunk_id == fourcc('M', 'T', 'r', 'k')) ++tracks_found;
    in.seek(in.pos + length);
  }
  return !in.failed;
}
