// The picture's state: the OpenGL context's display lists and the texture
// bank (graphics/ draws with them).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

// Display-list names; each block comes from one glGenLists call.
struct DisplayLists {
  uint32_t backdrop_list = 0;
  uint32_t tank_lists = 0;  // hull, tracks, turret: first, first + 1, first + 2
  uint32_t font_lists = 0;  // 256 glyph cells
  uint32_t cube_list = 0;
  uint32_t billboard_list = 0;
};

struct GraphicsState {
  int32_t context_created = 0;
  DisplayLists lists{};
  // Spares the work that cannot change the picture: what lies wholly outside
  // the view, and the choice between mipmap levels on box faces that are
  // magnified wherever they show (tests turn it off to show that the picture
  // stays the same).
  bool spare_work = true;
};

inline constexpr std::size_t kTextureSlotCount = 1024;

struct BitmapImage {
  int32_t loaded = 0;
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;  // blue, green, red; top row first once loaded
};

struct TextureSlot {
  int32_t present = 0;
  int32_t archive_offset = 0;
  uint32_t texture_name = 0;  // 0 binds the default texture
  BitmapImage image;
  int32_t uploaded = 0;
  int32_t texels_across = 0;  // the larger side of the uploaded image, in texels
};

struct TextureBank {
  int32_t open = 0;
  char archive_path[80] = {};
  std::array<TextureSlot, kTextureSlotCount> slots{};
};
