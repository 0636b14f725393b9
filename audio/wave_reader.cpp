#include "audio/wave_reader.h"

#include "platform/byte_reader.h"

namespace {

struct ChunkHeader {
  uint32_t id = 0;
  uint32_t size = 0;
  std::size_t data_start = 0;  // the byte after the 8-byte header
};

// The end of a chunk's data, padded to an even length as RIFF requires.
std::size_t chunk_end(const ChunkHeader& chunk) {
  return chunk.data_start + chunk.size + (chunk.size & 1u);
}

bool read_chunk_header(ByteReader& in, ChunkHeader& chunk) {
  chunk.id = in.u32();
  chunk.size = in.u32();
  chunk.data_start = in.pos;
  return !in.failed;
}

// Walks chunk headers from the current position up to `limit` until one has
// the wanted identifier (and, for RIFF chunks, the wanted form type).
bool find_chunk(ByteReader& in, std::size_t limit, uint32_t id, uint32_t form, ChunkHeader& out) {
  while (!in.failed && in.pos + 8 <= limit) {
    if (!read_chunk_header(in, out)) return false;
    if (out.id == id) {
      if (form == 0) return true;
      if (in.u32() == form && !in.failed) return true;
    }
    in.seek(chunk_end(out));
  }
  return false;
}

void read_format(ByteReader& in, WaveFormat& format) {
  format.format_tag = in.u16();
  format.channels = in.u16();
  format.samples_per_second = in.u32();
  format.average_bytes_per_second = in.u32();
  format.block_align = in.u16();
  format.bits_per_sample = in.u16();
  format.extra_bytes = in.u16();
}

}  // namespace

bool locate_wave(const uint8_t* bytes, std::size_t size, std::size_t offset, WaveLocation& out) {
  ByteReader in{bytes, size};
  in.seek(offset);
  ChunkHeader riff;
  if (!find_chunk(in, size, fourcc('R', 'I', 'F', 'F'), fourcc('W', 'A', 'V', 'E'), riff))
    return false;
  // A RIFF size larger than the file (a cut-off file) is bounded by the file.
  const std::size_t riff_end = chunk_end(riff) < size ? chunk_end(riff) : size;

  ChunkHeader format_chunk;
  if (!read_chunk_header(in, format_chunk)) return false;
  read_format(in, out.format);
  if (in.failed || out.format.format_tag != kWaveFormatPcm) return false;
  in.seek(chunk_end(format_chunk));

  ChunkHeader data_chunk;
  if (!find_chunk(in, riff_end, fourcc('d', 'a', 't', 'a'), 0, data_chunk)) return false;
  if (!in.can_read(data_chunk.size)) return false;
  out.data_offset = data_chunk.data_start;
  out.data_bytes = data_chunk.size;
  return true;
}
