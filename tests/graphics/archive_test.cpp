// The built "mrvn.pak", checked entry by entry with an independent tool
// (ImageMagick's identify): every slot a 24-bit uncompressed bitmap of the
// size the game's drawing expects, ending before the next slot begins.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "graphics/textures.h"

namespace {

std::string run(const std::string& command) {
  std::string output;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return output;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
  pclose(pipe);
  return output;
}

TEST(TextureArchiveFile, EverySlotIsA24BitUncompressedBitmapOfItsSize) {
  std::ifstream in(MORVANE_GAME_DIR "/mrvn.pak", std::ios::binary);
  ASSERT_TRUE(in) << "mrvn.pak was not built";
  const std::vector<char> archive((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  struct Expected {
    int slot, width, height;
  };
  // Slot 8 (hull camouflage) is ours to size; the others are fixed by the
  // gaps between offsets.
  const Expected expected[] = {{0, 256, 256}, {1, 256, 256}, {2, 128, 128}, {3, 32, 32}, {4, 64, 64},
                               {5, 128, 128}, {6, 256, 256}, {7, 32, 32},   {8, 128, 128}};
  const std::string dir = std::filesystem::temp_directory_path().string();
  for (const Expected& e : expected) {
    SCOPED_TRACE("slot " + std::to_string(e.slot));
    const std::size_t begin = static_cast<std::size_t>(texture_offsets[e.slot]);
    const std::size_t limit =
        e.slot < 8 ? static_cast<std::size_t>(texture_offsets[e.slot + 1]) : archive.size();
    const std::size_t size = 54 + static_cast<std::size_t>(e.width) * e.height * 3;
    ASSERT_LE(begin + size, limit) << "entry runs into the next slot";
    const std::string path = dir + "/morvane_slot_" + std::to_string(::getpid()) + "_" + std::to_string(e.slot) + ".bmp";
    std::ofstream(path, std::ios::binary).write(&archive[begin], static_cast<std::streamsize>(size));
    // Format, size, compression, storage class (no palette) and file size;
    // an uncompressed file of exactly 54 + 3 w h bytes holds 24-bit pixels.
    const std::string info = run("identify -format '%m %w %h %C %r %B' '" + path + "' 2>&1");
    std::remove(path.c_str());
    const std::string want_prefix = "BMP3 " + std::to_string(e.width) + " " + std::to_string(e.height) + " None DirectClass";
    EXPECT_EQ(info.rfind(want_prefix, 0), 0u) << info;
    EXPECT_EQ(info.find("Matte"), std::string::npos) << info;
    EXPECT_NE(info.find(" " + std::to_string(size)), std::string::npos) << info;
  }
}

}  // namespace
