#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "world/level.h"
#include "world_test_support.h"

namespace {

std::string object_line(int x) {
  return "OBJECT QUAD " + std::to_string(x) + " 0 0 1 1 1 1 1 1 0 1 1 0\n";
}

TEST(LevelFile, HeaderAndVersionLimit) {
  struct Case {
    const char* text;
    int result;
  };
  const Case cases[] = {
      {"MRVN_LEVEL 0.55\n", 1},
      {"MRVN_LEVEL 0.56\n", 0},
      {"MRVN_LEVEL 0.1\n", 1},
      {"MRVN_LEVEL\n", 1},  // a missing version counts as 0
      {"MRVN_LEVEL\nBEGIN_OBJECT_DEFINITION\n", 1},
      {"mrvn_level 0.5\n", 0},
      {"MRVN_LEVELS 0.5\n", 0},
      {"", 0},
  };
  for (const Case& c : cases) {
    LevelTable level;
    EXPECT_EQ(load_level_text(level, c.text), c.result) << c.text;
  }
  LevelTable level;
  EXPECT_EQ(load_level(level, "/nonexistent/default.mvl"), 0);
}

TEST(LevelFile, ReadsEveryFieldInItsOrder) {
  LevelTable level;
  ASSERT_EQ(load_level_text(level,
                            "MRVN_LEVEL 0.5\nBEGIN_OBJECT_DEFINITION\n"
                            "OBJECT QUAD 1 2 3 4 5 6 2 4 0.5 1 7 1 0\n"
                            "OBJECT LIFT -4 2 8 2 0.5 2 1 1 1 0 5 1 1 0.02 3 1\n"
                            "OBJECT WALL 0 0 0 1 1 1 1 1 1 0 2 1 0\n"
                            "OBJECT QUAD 0 0 0 1 1 1 1 1 1 0 2 0 1\n"
                            "END_OBJECT_DEFINITION\n"),
            1);
  ASSERT_EQ(level.count, 4);
  const LevelObject& quad = level.objects[0];
  EXPECT_EQ(quad.in_use, 1);
  EXPECT_EQ(quad.kind, LEVEL_KIND_QUAD);
  EXPECT_FLOAT_EQ(quad.x, 1);
  EXPECT_FLOAT_EQ(quad.y, 2);
  EXPECT_FLOAT_EQ(quad.z, 3);
  EXPECT_FLOAT_EQ(quad.size_x, 4);
  EXPECT_FLOAT_EQ(quad.size_y, 5);
  EXPECT_FLOAT_EQ(quad.size_z, 6);
  EXPECT_FLOAT_EQ(quad.tex_scale_x, 0.5f);
  EXPECT_FLOAT_EQ(quad.tex_scale_y, 0.25f);
  EXPECT_FLOAT_EQ(quad.tex_scale_z, 2.0f);
  EXPECT_EQ(quad.texture_mode, 1);  // the mode comes before the texture number
  EXPECT_EQ(quad.texture, 7);
  EXPECT_EQ(quad.solid, 1);
  EXPECT_EQ(quad.translucent, 0);

  const LevelObject& lift = level.objects[1];
  EXPECT_EQ(lift.kind, LEVEL_KIND_LIFT);
  EXPECT_FLOAT_EQ(lift.lift_speed, 0.02f);
  EXPECT_FLOAT_EQ(lift.lift_travel, 3);
  EXPECT_FLOAT_EQ(lift.lift_base_y, 2);
  EXPECT_EQ(lift.lift_pillar, 1);
  EXPECT_EQ(lift.lift_state, LIFT_DOWN);

  EXPECT_EQ(level.objects[2].kind, LEVEL_KIND_OTHER);
  EXPECT_EQ(level.objects[2].solid, 1);
  EXPECT_EQ(level.objects[3].translucent, 1);  // no lift tokens after a non-lift
  EXPECT_EQ(level.objects[4].in_use, 0);
}

TEST(LevelFile, ObjectsPastTheTableOverwriteTheLastSlot) {
  std::string text = "MRVN_LEVEL 0.55\nBEGIN_OBJECT_DEFINITION\n";
  for (int i = 1; i <= 300; ++i) text += object_line(i);
  LevelTable level;
  ASSERT_EQ(load_level_text(level, text), 1);
  EXPECT_EQ(level.count, 255);
  EXPECT_FLOAT_EQ(level.objects[0].x, 1);
  EXPECT_FLOAT_EQ(level.objects[254].x, 255);
  EXPECT_FLOAT_EQ(level.objects[255].x, 300);
}

TEST(LevelFile, OnlyObjectsInsideBlocksCount) {
  LevelTable level;
  ASSERT_EQ(load_level_text(level,
                            "MRVN_LEVEL 0.55 free words OBJECT QUAD 9 9 9 1 1 1 1 1 1 0 1 1 0\n"
                            "BEGIN_OBJECT_DEFINITION comment " + object_line(1) +
                                "END_OBJECT_DEFINITION between the blocks OBJECT QUAD 8\n"
                                "BEGIN_OBJECT_DEFINITION\n" + object_line(2) +
                                "EOF inside a block is an ordinary word\n" + object_line(3) +
                                "END_OBJECT_DEFINITION\nEOF\nBEGIN_OBJECT_DEFINITION\n" +
                                object_line(4)),
            1);
  ASSERT_EQ(level.count, 3);
  EXPECT_FLOAT_EQ(level.objects[0].x, 1);
  EXPECT_FLOAT_EQ(level.objects[1].x, 2);
  EXPECT_FLOAT_EQ(level.objects[2].x, 3);
}

TEST(LevelFile, EndOfFileInsideABlockKeepsWhatWasComplete) {
  LevelTable level;
  ASSERT_EQ(load_level_text(level, "MRVN_LEVEL 0.55\nBEGIN_OBJECT_DEFINITION\n" + object_line(1) +
                                       "OBJECT LIFT 0 0 0 1 1 1 1 1 1 0 1 1 0 0.1"),
            1);
  EXPECT_EQ(level.count, 1);
  EXPECT_EQ(level.objects[1].in_use, 0);
}

TEST(LevelFile, HostileFilesAreRefused) {
  const std::string block = "MRVN_LEVEL 0.55\nBEGIN_OBJECT_DEFINITION\n";
  const std::string cases[] = {
      block + "OBJECT QUAD 1.5x 0 0 1 1 1 1 1 1 0 1 1 0\n",     // number with trailing junk
      block + "OBJECT QUAD nan 0 0 1 1 1 1 1 1 0 1 1 0\n",      // not a finite number
      block + "OBJECT QUAD 1e999 0 0 1 1 1 1 1 1 0 1 1 0\n",    // out of range
      block + "OBJECT QUAD 0 0 0 1 1 1 1 1 1 1.0 1 1 0\n",      // integer field with a fraction
      block + "OBJECT QUAD 0 0 0 1 1 1 1 1 1 0 99999999999 1 0\n",
      block + std::string(80, 'W') + "\n" + object_line(1),     // an 80-character word
      "MRVN_LEVEL 0.5 " + std::string(500, 'x') + "\n",         // an overlong comment word
  };
  for (const std::string& text : cases) {
    LevelTable level;
    EXPECT_EQ(load_level_text(level, text), 0) << text.substr(0, 60);
    for (const LevelObject& object : level.objects) EXPECT_EQ(object.in_use, 0);
  }
  LevelTable level;
  EXPECT_EQ(load_level_text(level, block + std::string(79, 'W') + "\n" + object_line(1)), 1);
  EXPECT_EQ(level.count, 1);
}

// Entry places come in their own blocks, which older readers skip as
// comments; files without them still load, with the origin alone.
TEST(LevelFile, EntryPlaces) {
  const std::string head = "MRVN_LEVEL 0.55\n";
  const std::string objects = "BEGIN_OBJECT_DEFINITION\n" + object_line(3) + "END_OBJECT_DEFINITION\n";
  // Each load into a fresh table, as the game loads its level once.
  auto level = std::make_unique<LevelTable>();
  ASSERT_EQ(load_level_text(*level, head + "ENTRY 1 2 3 is a comment here\n" + objects), 1);
  EXPECT_EQ(level->count, 1);
  EXPECT_EQ(level->entry_count, 0);

  std::string listed = "BEGIN_ENTRY_DEFINITION\n  a note ENTRY 10 0 -20\n";
  listed += "  ENTRY 101 0 0 ENTRY 0 -100.5 0\n";  // outside the cube: left out
  for (int i = 0; i < 20; ++i) listed += "  ENTRY " + std::to_string(i) + " 1 2\n";
  listed += "END_ENTRY_DEFINITION\n";
  ASSERT_EQ(load_level_text(*level = LevelTable{}, head + listed + objects + "BEGIN_ENTRY_DEFINITION ENTRY 5 5 5"), 1);
  EXPECT_EQ(level->count, 1);  // the objects are read as before
  ASSERT_EQ(level->entry_count, 16);  // the first 16 inside the cube
  EXPECT_FLOAT_EQ(level->entries[0].x, 10.0f);
  EXPECT_FLOAT_EQ(level->entries[0].z, -20.0f);
  EXPECT_FLOAT_EQ(level->entries[15].x, 14.0f);
  EXPECT_FLOAT_EQ(level->entries[15].z, 2.0f);

  // An entry place inside an object block is no object and no place.
  ASSERT_EQ(load_level_text(*level = LevelTable{}, head + "BEGIN_OBJECT_DEFINITION ENTRY 1 2 3 " + object_line(4) +
                                       "END_OBJECT_DEFINITION"),
            1);
  EXPECT_EQ(level->entry_count, 0);
  EXPECT_FLOAT_EQ(level->objects[0].x, 4.0f);

  // A place whose numbers do not parse refuses the file, as an object's do;
  // nothing of it is kept, and a later load starts afresh.
  for (const char* bad : {"ENTRY 1 nan 2", "ENTRY 1 2 3x", "ENTRY 1e999 0 0", "ENTRY 1 2 END_ENTRY_DEFINITION"}) {
    const std::string text = head + "BEGIN_ENTRY_DEFINITION ENTRY 7 0 7 " + bad + " " + objects;
    EXPECT_EQ(load_level_text(*level = LevelTable{}, text), 0) << bad;
    EXPECT_EQ(level->entry_count, 0) << bad;
    EXPECT_EQ(level->objects[0].in_use, 0) << bad;
  }
  // The file ending inside a place ends the load with what was complete.
  EXPECT_EQ(load_level_text(*level = LevelTable{}, head + "BEGIN_ENTRY_DEFINITION ENTRY 7 0 7 ENTRY 1"), 1);
  EXPECT_EQ(level->entry_count, 1);
}

TEST(LevelFile, GarbageBytesNeverCrash) {
  std::string text = "MRVN_LEVEL 0.5\nBEGIN_OBJECT_DEFINITION\nOBJECT LIFT ";
  uint32_t seed = 12345;
  for (int i = 0; i < 5000; ++i) {
    seed = seed * 1103515245u + 12345u;
    text += static_cast<char>((seed >> 16) & 0xFF);
  }
  LevelTable level;
  const int result = load_level_text(level, text);
  EXPECT_TRUE(result == 0 || result == 1);
  EXPECT_LE(level.count, 255);
}

TEST(LevelFile, TileSizeZeroGivesAScaleOfOne) {
  LevelTable level;
  ASSERT_EQ(load_level_text(level, "MRVN_LEVEL 0.55 BEGIN_OBJECT_DEFINITION "
                                   "OBJECT QUAD 0 0 0 1 1 1 0 2 0 1 1 1 0"),
            1);
  EXPECT_FLOAT_EQ(level.objects[0].tex_scale_x, 1.0f);
  EXPECT_FLOAT_EQ(level.objects[0].tex_scale_y, 0.5f);
  EXPECT_FLOAT_EQ(level.objects[0].tex_scale_z, 1.0f);
}

}  // namespace
