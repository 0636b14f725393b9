// Writes the game's icon as PNG files at the sizes desktops ask for:
//   make_icons DIRECTORY SIZE...   ->  DIRECTORY/SIZExSIZE/morvane.png
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "shell/game_icon.h"

namespace {

void put_u32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

// One PNG chunk: length, type, data, and the CRC of type and data.
void put_chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  put_u32(out, static_cast<uint32_t>(data.size()));
  std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  put_u32(out, static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

// An 8-bit RGBA PNG of the ARGB pixels, unfiltered rows.
bool encode_png(int32_t size, const std::vector<uint32_t>& pixels, std::vector<uint8_t>& png) {
  std::vector<uint8_t> rows;
  rows.reserve(static_cast<std::size_t>(size) * (size * 4 + 1));
  for (int32_t y = 0; y < size; ++y) {
    rows.push_back(0);  // filter: none
    for (int32_t x = 0; x < size; ++x) {
      uint32_t c = pixels[static_cast<std::size_t>(y) * size + x];
      rows.insert(rows.end(), {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8),
                               static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 24)});
    }
  }
  uLongf packed_size = compressBound(static_cast<uLong>(rows.size()));
  std::vector<uint8_t> packed(packed_size);
  if (compress2(packed.data(), &packed_size, rows.data(), static_cast<uLong>(rows.size()), 9) != Z_OK)
    return false;
  packed.resize(packed_size);

  std::vector<uint8_t> header;
  put_u32(header, static_cast<uint32_t>(size));
  put_u32(header, static_cast<uint32_t>(size));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter, no interlace
  const uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  png.assign(std::begin(signature), std::end(signature));
  put_chunk(png, "IHDR", header);
  put_chunk(png, "IDAT", packed);
  put_chunk(png, "IEND", {});
  return true;
}

bool write_icon(const std::filesystem::path& directory, int32_t size) {
  std::vector<uint32_t> pixels(static_cast<std::size_t>(size) * size);
  draw_game_icon(size, pixels.data());
  std::vector<uint8_t> png;
  if (!encode_png(size, pixels, png)) return false;
  std::filesystem::path folder = directory / (std::to_string(size) + "x" + std::to_string(size));
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  std::FILE* file = std::fopen((folder / "morvane.png").c_str(), "wb");
  if (file == nullptr) return false;
  bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s DIRECTORY SIZE...\n", argv[0]);
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    int32_t size = std::atoi(argv[i]);
    if (size < 16 || size > 1024 || !write_icon(argv[1], size)) {
      std::fprintf(stderr, "%s: cannot write the %s pixel icon in %s\n", argv[0], argv[i], argv[1]);
      return 1;
    }
  }
  return 0;
}
