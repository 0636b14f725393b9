// Helpers shared by the world tests: a fresh game on the heap (it is large)
// and levels written from text.
#pragma once

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "core/game.h"
#include "world/level.h"

inline std::unique_ptr<Game> make_game() { return std::make_unique<Game>(); }

// Writes text to a file of the test's temporary directory and returns its path.
inline std::string write_temp_file(const std::string& name, const std::string& text) {
  // Named per process: ctest runs the tests of one program side by side.
  const std::string path = testing::TempDir() + "/" + std::to_string(::getpid()) + "_" + name;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  EXPECT_NE(file, nullptr);
  if (file) {
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  }
  return path;
}

inline int load_level_text(LevelTable& level, const std::string& text) {
  return load_level(level, write_temp_file("level.mvl", text).c_str());
}

// Adds one box straight into the table.
inline LevelObject& add_box(LevelTable& level, float x, float y, float z, float sx, float sy,
                            float sz) {
  LevelObject& box = level.objects[static_cast<std::size_t>(level.count++)];
  box = LevelObject{};
  box.in_use = 1;
  box.solid = 1;
  box.kind = LEVEL_KIND_QUAD;
  box.x = x;
  box.y = y;
  box.z = z;
  box.size_x = sx;
  box.size_y = sy;
  box.size_z = sz;
  return box;
}
