// The bitmap loader reads untrusted bytes: every rejection rule, truncated
// and hostile headers, and the archive's slot marking.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "graphics/textures.h"

namespace {

struct BitmapFields {
  int32_t width = 3;
  int32_t height = 2;
  uint16_t bits = 24;
  uint32_t compression = 0;
  int64_t image_size = -1;  // -1: width x height x 3
  uint32_t pixel_offset = 54;
  int64_t pixel_bytes = -1;  // bytes of pixel data actually written; -1: image size
  char type[2] = {'B', 'M'};
};

void put(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Stored pixel k (in file order) has the bytes (k, k + 1, k + 2) mod 256.
std::vector<uint8_t> make_bitmap(const BitmapFields& fields) {
  const uint32_t size = fields.image_size >= 0 ? static_cast<uint32_t>(fields.image_size)
                                               : static_cast<uint32_t>(fields.width * fields.height * 3);
  std::vector<uint8_t> out{static_cast<uint8_t>(fields.type[0]), static_cast<uint8_t>(fields.type[1])};
  put(out, 54 + size, 4);
  put(out, 0, 4);
  put(out, fields.pixel_offset, 4);
  put(out, 40, 4);
  put(out, static_cast<uint32_t>(fields.width), 4);
  put(out, static_cast<uint32_t>(fields.height), 4);
  put(out, 1, 2);
  put(out, fields.bits, 2);
  put(out, fields.compression, 4);
  put(out, size, 4);
  for (int i = 0; i < 4; ++i) put(out, 0, 4);
  const int64_t pixels = fields.pixel_bytes >= 0 ? fields.pixel_bytes : size;
  for (int64_t k = 0; k < pixels; ++k) out.push_back(static_cast<uint8_t>(k / 3 + k % 3));
  return out;
}

class BitmapFile : public ::testing::Test {
 protected:
  std::string path = (std::filesystem::temp_directory_path() /
                      ("morvane_bitmap_" + std::to_string(::getpid()) + ".pak")).string();
  void TearDown() override { std::remove(path.c_str()); }

  // Writes `entry` at byte `offset`, preceded by filler bytes.
  void write(const std::vector<uint8_t>& entry, int32_t offset = 1) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::vector<uint8_t> bytes(static_cast<std::size_t>(offset), 0xEE);
    bytes.insert(bytes.end(), entry.begin(), entry.end());
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
};

TEST_F(BitmapFile, LoadsRowsTopFirstWithoutPaddingForAnyWidth) {
  write(make_bitmap({}), 7);
  BitmapImage image;
  ASSERT_EQ(load_bitmap(image, path.c_str(), 7), 1);
  EXPECT_EQ(image.loaded, 1);
  EXPECT_EQ(image.width, 3);
  EXPECT_EQ(image.height, 2);
  ASSERT_EQ(image.pixels.size(), 18u);
  // The file stores the bottom row first (pixels 0..2); in memory the top
  // row (pixels 3..5) comes first.
  EXPECT_EQ(image.pixels[0], 3);
  EXPECT_EQ(image.pixels[9], 0);
  EXPECT_EQ(image.pixels[17], 2 + 2);
}

TEST_F(BitmapFile, PixelsAreReadFromByte54WhateverTheOffsetFieldSays) {
  BitmapFields fields;
  fields.pixel_offset = 1078;
  write(make_bitmap(fields));
  BitmapImage image;
  ASSERT_EQ(load_bitmap(image, path.c_str(), 1), 1);
  EXPECT_EQ(image.pixels[0], 3);
}

struct Rejection {
  const char* name;
  BitmapFields fields;
};

std::vector<Rejection> rejections() {
  std::vector<Rejection> cases;
  auto add = [&](const char* name, auto change) {
    BitmapFields fields;
    change(fields);
    cases.push_back({name, fields});
  };
  add("not BM", [](BitmapFields& s) { s.type[0] = 'B', s.type[1] = 'A'; });
  add("8-bit palette", [](BitmapFields& s) { s.bits = 8; });
  add("32-bit", [](BitmapFields& s) { s.bits = 32, s.image_size = s.width * s.height * 4; });
  add("run-length compressed", [](BitmapFields& s) { s.compression = 1; });
  add("rows padded to four bytes", [](BitmapFields& s) { s.image_size = 12 * 2; });
  add("image size too small", [](BitmapFields& s) { s.image_size = 17; });
  add("two negative dimensions", [](BitmapFields& s) { s.width = -3, s.height = -2, s.image_size = 18; });
  add("zero width", [](BitmapFields& s) { s.width = 0, s.image_size = 0; });
  // 65536 x 65536 x 3 is 3 x 2^32: a 32-bit product wraps to 0.
  add("size product wraps", [](BitmapFields& s) { s.width = 65536, s.height = 65536, s.image_size = 0, s.pixel_bytes = 64; });
  // A consistent header for a 2.7 GB image in a tiny file: refused before
  // anything is allocated.
  add("huge image in a short file", [](BitmapFields& s) {
    s.width = 30000, s.height = 30000, s.image_size = 2700000000LL, s.pixel_bytes = 64;
  });
  add("pixels cut short", [](BitmapFields& s) { s.pixel_bytes = 17; });
  return cases;
}

TEST_F(BitmapFile, RejectsEveryEntryItCannotUseAndHoldsNoPixels) {
  for (const Rejection& r : rejections()) {
    SCOPED_TRACE(r.name);
    write(make_bitmap(r.fields));
    BitmapImage image;
    EXPECT_EQ(load_bitmap(image, path.c_str(), 1), 0);
    EXPECT_EQ(image.loaded, 0);
    EXPECT_TRUE(image.pixels.empty());
  }
}

TEST_F(BitmapFile, RejectsTruncatedHeadersAndOffsetsOutsideTheFile) {
  const std::vector<uint8_t> whole = make_bitmap({});
  for (std::size_t keep : {0u, 2u, 13u, 30u, 53u}) {
    SCOPED_TRACE(keep);
    write(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(keep)));
    BitmapImage image;
    EXPECT_EQ(load_bitmap(image, path.c_str(), 1), 0);
  }
  write(whole);
  BitmapImage image;
  EXPECT_EQ(load_bitmap(image, path.c_str(), 100000), 0);
  EXPECT_EQ(load_bitmap(image, path.c_str(), -5), 0);
  EXPECT_EQ(load_bitmap(image, "/nonexistent/mrvn.pak", 1), 0);
}

TEST(FlipRows, ReversesRowOrderForOddAndEvenCounts) {
  std::vector<uint8_t> odd = {1, 1, 2, 2, 3, 3};
  EXPECT_EQ(flip_rows(odd.data(), 2, 3), 1);
  EXPECT_EQ(odd, (std::vector<uint8_t>{3, 3, 2, 2, 1, 1}));
  std::vector<uint8_t> even = {1, 2, 3, 4};
  flip_rows(even.data(), 1, 4);
  EXPECT_EQ(even, (std::vector<uint8_t>{4, 3, 2, 1}));
  std::vector<uint8_t> one = {9, 8};
  flip_rows(one.data(), 2, 1);
  EXPECT_EQ(one, (std::vector<uint8_t>{9, 8}));
}

TEST(TextureArchive, MissingFileReportsItsNameAndChangesNothingElse) {
  TextureBank bank;
  char error_text[80] = {};
  EXPECT_EQ(open_texture_archive(bank, "/nonexistent/mrvn.pak", texture_offsets, error_text), 0);
  EXPECT_STREQ(error_text, "Cannot open /nonexistent/mrvn.pak");
  EXPECT_STREQ(bank.archive_path, "/nonexistent/mrvn.pak");
  EXPECT_EQ(bank.open, 0);
  EXPECT_EQ(bank.slots[0].present, 0);
  EXPECT_EQ(load_textures(bank), 0);  // a closed bank loads nothing
}

TEST(TextureArchive, MarksExactlyTheSlotsWithAnOffset) {
  TextureBank bank;
  char error_text[80] = {};
  ASSERT_EQ(open_texture_archive(bank, MORVANE_GAME_DIR "/mrvn.pak", texture_offsets, error_text), 1);
  EXPECT_EQ(bank.open, 1);
  int present = 0;
  for (std::size_t i = 0; i < kTextureSlotCount; ++i) {
    present += bank.slots[i].present;
    EXPECT_EQ(bank.slots[i].archive_offset, texture_offsets[i]);
  }
  EXPECT_EQ(present, 9);
  EXPECT_EQ(bank.slots[9].present, 0);
}

TEST(TextureArchive, FreeingANeverOpenedBankTwiceIsHarmless) {
  TextureBank bank;
  EXPECT_EQ(free_textures(bank), 1);
  EXPECT_EQ(free_textures(bank), 1);
  EXPECT_EQ(bank.open, 0);
}

}  // namespace
