// The texture archive "mrvn.pak": bitmap files back to back at offsets fixed
// in the program, loaded once into OpenGL textures addressed by slot number.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

#include "core/graphics_state.h"

inline constexpr const char* kTextureArchiveName = "mrvn.pak";

// Slots the fixed drawing uses.
inline constexpr int32_t TEXTURE_FONT = 0;
inline constexpr int32_t TEXTURE_SMOKE = 3;
inline constexpr int32_t TEXTURE_SHELL = 4;
inline constexpr int32_t TEXTURE_BACKDROP = 6;
inline constexpr int32_t TEXTURE_TRACKS = 7;
inline constexpr int32_t TEXTURE_HULL = 8;

// Where each slot's bitmap starts in the archive; 0 = empty slot.
extern const std::array<int32_t, kTextureSlotCount> texture_offsets;

// Records the path, checks the file opens and marks the present slots.
// On failure writes "Cannot open %s" into error_text (80 bytes) and returns 0.
int open_texture_archive(TextureBank& bank, const char* path,
                         const std::array<int32_t, kTextureSlotCount>& offsets, char* error_text);
// Loads and uploads every present slot; needs a current OpenGL context.
int load_textures(TextureBank& bank);
// Deletes every uploaded texture; always 1, harmless twice.
int free_textures(TextureBank& bank);
int load_bitmap(BitmapImage& image, const char* path, int32_t offset);
// The same from a stream open for reading, which stays open.
int read_bitmap(BitmapImage& image, std::FILE* file, int32_t offset);
int flip_rows(uint8_t* pixels, std::size_t bytes_per_row, std::size_t row_count);
int free_bitmap(BitmapImage& image);
int upload_texture(uint32_t& texture_name, const BitmapImage& image);
int delete_texture(uint32_t texture_name);
// Binds a slot's texture (name 0 for an empty or out-of-range slot).
void bind_texture_slot(const TextureBank& bank, int32_t slot);
