// The texture archive: every slot of the fixed offset table that starts
// inside the input is read as the game reads it, with the bitmap loader.
#include <algorithm>

#include "graphics/textures.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  for (std::size_t slot = 0; slot < kTextureSlotCount; ++slot) {
    const int32_t offset = texture_offsets[slot];
    if (offset == 0 || static_cast<std::size_t>(offset) >= size) continue;
    std::FILE* file = open_bytes({data, size});
    if (!file) return 0;
    BitmapImage image;
    const int status = read_bitmap(image, file, offset);
    std::fclose(file);
    if (status != 1) {
      fuzz_require(status == 0 && !image.loaded && image.pixels.empty(), "a refused entry holds no pixels");
      continue;
    }
    fuzz_require(image.width > 0 && image.height > 0, "a loaded image has a size");
    const uint64_t pixels = static_cast<uint64_t>(image.width) * static_cast<uint64_t>(image.height) * 3u;
    fuzz_require(image.pixels.size() == pixels, "a loaded image holds width x height x 3 bytes");
    fuzz_require(pixels + 54 <= size - static_cast<std::size_t>(offset), "the pixels were inside the archive");
  }
  return 0;
}

namespace {

// A complete 24-bit bitmap file of the given size, pixels counting up.
FuzzInput bitmap(int32_t width, int32_t height) {
  const uint32_t image_size = static_cast<uint32_t>(width * height * 3);
  FuzzInput out;
  put_text(out, "BM");
  put_u32(out, 54 + image_size);
  put_u32(out, 0);
  put_u32(out, 54);
  put_u32(out, 40);
  put_u32(out, static_cast<uint32_t>(width));
  put_u32(out, static_cast<uint32_t>(height));
  put_u16(out, 1);
  put_u16(out, 24);
  put_u32(out, 0);
  put_u32(out, image_size);
  for (int i = 0; i < 4; ++i) put_u32(out, 0);
  for (uint32_t k = 0; k < image_size; ++k) out.push_back(static_cast<uint8_t>(k));
  return out;
}

// An archive whose first slot (at byte 1) holds the bitmap.
FuzzInput archive(const FuzzInput& entry) {
  FuzzInput out(1 + entry.size(), 0);
  std::copy(entry.begin(), entry.end(), out.begin() + 1);
  return out;
}

}  // namespace

std::vector<FuzzSeed> fuzz_seeds() {
  return {{"3x2", archive(bitmap(3, 2))}, {"16x16", archive(bitmap(16, 16))}, {"5x1", archive(bitmap(5, 1))}};
}
