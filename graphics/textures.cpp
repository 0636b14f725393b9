#include "graphics/textures.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cstdio>
#include <new>

#include "platform/byte_reader.h"

const std::array<int32_t, kTextureSlotCount> texture_offsets = [] {
  std::array<int32_t, kTextureSlotCount> offsets{};
  offsets[0] = 1;
  offsets[1] = 196663;
  offsets[2] = 393325;
  offsets[3] = 442531;
  offsets[4] = 445657;
  offsets[5] = 457999;
  offsets[6] = 507205;
  offsets[7] = 703867;
  offsets[8] = 706993;
  return offsets;
}();

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kPixelArrayOffset = kFileHeaderSize + kInfoHeaderSize;
constexpr GLenum kBgrFormat = 0x80E0;  // GL_BGR_EXT

// The header fields the loader acts on.
struct BitmapHeader {
  int32_t width = 0;
  int32_t height = 0;
  uint16_t bits_per_pixel = 0;
  uint32_t compression = 0;
  uint32_t image_size = 0;
};

// Accepts only what the loader can use: "BM", 24 bits, uncompressed, positive
// dimensions and an image size of exactly width x height x 3 (which also
// rejects padded rows). The pixel-offset field is not consulted.
bool parse_header(const uint8_t (&bytes)[kPixelArrayOffset], BitmapHeader& header) {
  ByteReader reader{bytes, sizeof bytes};
  const uint16_t type = reader.u16();
  reader.seek(18);
  header.width = reader.i32();
  header.height = reader.i32();
  reader.seek(28);
  header.bits_per_pixel = reader.u16();
  header.compression = reader.u32();
  header.image_size = reader.u32();
  if (!reader.ok() || type != 0x4D42) return false;  // "BM"
  if (header.bits_per_pixel != 24 || header.compression != 0) return false;
  // Two negative dimensions multiply to a positive size; refuse them before
  // they become row lengths.
  if (header.width <= 0 || header.height <= 0) return false;
  const uint64_t expected = static_cast<uint64_t>(header.width) * static_cast<uint64_t>(header.height) * 3u;
  return expected == header.image_size;
}

// Bytes from `offset` to the end of the file, or -1 when it cannot be told.
long bytes_after(std::FILE* file, long offset) {
  if (std::fseek(file, 0, SEEK_END) != 0) return -1;
  const long end = std::ftell(file);
  if (end < 0 || offset > end) return -1;
  return end - offset;
}

}  // namespace

int open_texture_archive(TextureBank& bank, const char* path,
                         const std::array<int32_t, kTextureSlotCount>& offsets, char* error_text) {
  std::snprintf(bank.archive_path, sizeof bank.archive_path, "%s", path);
  std::FILE* file = std::fopen(path, "rb");
  if (!file) {
    std::snprintf(error_text, 80, "Cannot open %s", path);
    return 0;
  }
  for (std::size_t i = 0; i < kTextureSlotCount; ++i) {
    if (offsets[i] == 0) continue;
    bank.slots[i].archive_offset = offsets[i];
    bank.slots[i].present = 1;
  }
  bank.open = 1;
  std::fclose(file);
  return 1;
}

// A truncated entry (the file ends before its pixels do) is rejected before
// anything is allocated, so a hostile header cannot make us reserve more than
// the file holds and no image is ever uploaded with unread bytes. A pixel
// buffer that cannot be allocated rejects the entry the same way.
int read_bitmap(BitmapImage& image, std::FILE* file, int32_t offset) {
  if (image.loaded) free_bitmap(image);
  if (offset < 0) return 0;
  uint8_t bytes[kPixelArrayOffset];
  BitmapHeader header;
  const long available = bytes_after(file, offset);
  bool ok = available >= static_cast<long>(kPixelArrayOffset) && std::fseek(file, offset, SEEK_SET) == 0 &&
            std::fread(bytes, 1, sizeof bytes, file) == sizeof bytes && parse_header(bytes, header) &&
            header.image_size <= static_cast<unsigned long>(available) - kPixelArrayOffset;
  if (ok) {
    try {
      image.pixels.assign(header.image_size, 0);
    } catch (const std::bad_alloc&) {
      ok = false;
    }
  }
  ok = ok && std::fread(image.pixels.data(), 1, header.image_size, file) == header.image_size;
  if (!ok) {
    free_bitmap(image);
    return 0;
  }
  image.width = header.width;
  image.height = header.height;
  image.loaded = 1;
  flip_rows(image.pixels.data(), static_cast<std::size_t>(header.width) * 3,
            static_cast<std::size_t>(header.height));
  return 1;
}

int load_bitmap(BitmapImage& image, const char* path, int32_t offset) {
  if (image.loaded) free_bitmap(image);
  if (offset < 0) return 0;
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return 0;
  const int result = read_bitmap(image, file, offset);
  std::fclose(file);
  return result;
}

// Swaps rows pairwise in place, so there is no temporary buffer that could
// fail to be allocated.
int flip_rows(uint8_t* pixels, std::size_t bytes_per_row, std::size_t row_count) {
  if (!pixels) return 0;
  for (std::size_t top = 0, bottom = row_count; top + 1 < bottom; ++top, --bottom) {
    uint8_t* a = pixels + top * bytes_per_row;
    uint8_t* b = pixels + (bottom - 1) * bytes_per_row;
    std::swap_ranges(a, a + bytes_per_row, b);
  }
  return 1;
}

int free_bitmap(BitmapImage& image) {
  image.pixels.clear();
  image.pixels.shrink_to_fit();
  image.loaded = 0;
  image.width = 0;
  image.height = 0;
  return 1;
}

int upload_texture(uint32_t& texture_name, const BitmapImage& image) {
  if (!image.loaded) return 0;
  GLuint name = 0;
  glGenTextures(1, &name);
  texture_name = name;
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  // Rows are tightly packed, whatever their width.
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  gluBuild2DMipmaps(GL_TEXTURE_2D, 3, image.width, image.height, kBgrFormat, GL_UNSIGNED_BYTE,
                    image.pixels.data());
  return 1;
}

int delete_texture(uint32_t texture_name) {
  const GLuint name = texture_name;
  glDeleteTextures(1, &name);
  return 1;
}

int load_textures(TextureBank& bank) {
  if (!bank.open) return 0;
  for (TextureSlot& slot : bank.slots) {
    if (slot.present != 1) continue;
    if (load_bitmap(slot.image, bank.archive_path, slot.archive_offset) != 1) return 0;
    if (upload_texture(slot.texture_name, slot.image) != 1) return 0;
    GLint width = 0, height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    slot.texels_across = std::max(width, height);
    free_bitmap(slot.image);
    slot.uploaded = 1;
  }
  // The backdrop is magnified at every drawing size (256 texels across at
  // least 347 pixels), so its minifying filter never picks a pixel. Giving it
  // the magnifying filter spares the renderer the mipmap choice per pixel of
  // the largest surface of the frame; the picture stays the same.
  const TextureSlot& backdrop = bank.slots[TEXTURE_BACKDROP];
  if (backdrop.uploaded == 1) {
    glBindTexture(GL_TEXTURE_2D, backdrop.texture_name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  }
  return 1;
}

int free_textures(TextureBank& bank) {
  if (!bank.open) return 1;
  for (TextureSlot& slot : bank.slots) {
    if (slot.uploaded != 1) continue;
    delete_texture(slot.texture_name);
    slot.texture_name = 0;
    slot.uploaded = 0;
  }
  bank.open = 0;
  return 1;
}

void bind_texture_slot(const TextureBank& bank, int32_t slot) {
  GLuint name = 0;
  if (slot >= 0 && static_cast<std::size_t>(slot) < kTextureSlotCount) name = bank.slots[static_cast<std::size_t>(slot)].texture_name;
  glBindTexture(GL_TEXTURE_2D, name);
}
