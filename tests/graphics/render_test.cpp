// Whole frames at 640 x 480 compared with the reference pictures in
// reference/, and the frame's rules checked by drawing a scene twice with
// one thing changed.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "gl_scene.h"
#include "graphics/render.h"
#include "graphics/text.h"
#include "net/message_log.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

LevelObject& add_box(Game& game, float x, float y, float z, float sx, float sy, float sz, int32_t texture) {
  LevelTable& level = game.world.level;
  LevelObject& box = level.objects[static_cast<std::size_t>(level.count++)];
  box.in_use = 1;
  box.kind = LEVEL_KIND_QUAD;
  box.x = x, box.y = y, box.z = z;
  box.size_x = sx, box.size_y = sy, box.size_z = sz;
  box.tex_scale_x = box.tex_scale_y = box.tex_scale_z = 0.25f;
  box.texture = texture;
  box.texture_mode = 1;
  return box;
}

// A small yard: concrete floor, a brick wall ahead, metal blocks, a pillar
// lift and a translucent pane; the start-up camera looks along +z.
void build_yard(Game& game) {
  add_box(game, -30, -2, -10, 60, 1, 60, 1);
  add_box(game, -12, -1, 20, 24, 4, 1, 5);
  add_box(game, -9, -1, 10, 3, 2, 3, 2);
  add_box(game, 6, -1, 12, 2, 2, 2, 2).texture_mode = 0;
  LevelObject& lift = add_box(game, 3, 0.5f, 15, 2, 0.5f, 2, 2);
  lift.kind = LEVEL_KIND_LIFT;
  lift.lift_base_y = -1;
  lift.lift_pillar = 1;
  add_box(game, -4, -1, 7, 2, 2, 0.2f, 5).translucent = 1;
  add_box(game, 0, -1, 30, 1, 1, 1, 1).kind = LEVEL_KIND_OTHER;  // never drawn
}

// A running game: the local tank, two other tanks, shots and a smoke trail.
void build_battle(Game& game) {
  WorldState& world = game.world;
  world.in_session = 1;
  world.frames_per_second = 58;
  world.frame_counter = 37;
  world.tank = LocalTank{};
  world.tank.in_play = 1;
  world.tank.health = 150;
  world.tank.local_player_id = 1;
  world.tank.gun_pitch = 4;
  world.camera.camera_y = -0.2f;
  world.camera.camera_pitch = 4;
  PlayerSlot& rival = world.player_table[1];
  rival = PlayerSlot{};
  rival.active = rival.in_play = 1;
  rival.player_id = 2;
  rival.x = -3, rival.y = 0, rival.z = 8;
  rival.hull_heading = 30, rival.turret_heading = 60;
  PlayerSlot& far_rival = world.player_table[2];
  far_rival = rival;
  far_rival.player_id = 3;
  far_rival.x = 4, far_rival.z = 14, far_rival.hull_heading = 200, far_rival.turret_heading = 170;
  for (int i = 0; i < 3; ++i) {
    Projectile& shot = world.projectile_table[static_cast<std::size_t>(10 + i)];
    shot.active = 1;
    shot.x = -1.0f + i, shot.y = 0.2f + 0.1f * i, shot.z = 5.0f + 1.5f * i;
  }
  for (int i = 0; i < 30; ++i) {
    Particle& puff = world.particle_pool[static_cast<std::size_t>(i)];
    puff.active = 1;
    puff.x = -2.5f + 0.08f * i, puff.y = 0.1f + 0.01f * i, puff.z = 7.5f - 0.12f * i;
    puff.view_distance = 40;
    puff.red = 1, puff.green = 0.9f, puff.blue = 0.7f;
    puff.life = 1.0f - 0.03f * i;
  }
  world.music_track = 2;  // 3:43 long
  world.music_track_start_ms = 0;
  test_gl::fake_millis = 65000;
  add_log_entry(game.log, LOG_CHAT, "anyone seen the lift?", "Vera");
  add_log_entry(game.log, LOG_NOTICE, "Kassian joined the game", "SYS");
}

class Frames : public ::testing::Test {
 protected:
  std::unique_ptr<Game> owned = std::make_unique<Game>();
  Game& game = *owned;
  void SetUp() override {
    ASSERT_TRUE(test_gl::open_scene(game, kWidth, kHeight));
    test_gl::use_fake_clock(game);
    hide_log_entries(game.log);
    game.settings.particles_enabled = 1;
    game.world.camera.camera_y = -0.2f;
    build_yard(game);
  }
  void TearDown() override { test_gl::close_scene(game); }

  test_gl::Frame draw() {
    EXPECT_EQ(render_frame(game), 1);
    return test_gl::read_frame(kWidth, kHeight);
  }
  void expect_reference(const std::string& name) {
    const std::string problem = test_gl::compare_with_reference(draw(), name);
    EXPECT_TRUE(problem.empty()) << problem;
  }
  int64_t changed(const test_gl::Frame& a, const test_gl::Frame& b) { return test_gl::differing_pixels(a, b, 0); }
};

TEST_F(Frames, TitleScreenShowsTheSceneWithoutHud) {
  add_log_entry(game.log, LOG_NOTICE, "Searching for games...", "SYS");
  expect_reference("title");
}

TEST_F(Frames, SessionFrameWithHud) {
  build_battle(game);
  expect_reference("session");
}

TEST_F(Frames, EventMessageInTheCentre) {
  build_battle(game);
  add_log_entry(game.log, LOG_EVENT, "destroyed", "Vera Kassian");
  game.log.entries[0].age = 60;
  expect_reference("event");
}

// Kills announced close together are stacked downward from the middle, the
// newest on top, each in its own fading colour; other messages between them
// leave no gap.
TEST_F(Frames, EventsShownTogetherAreStackedNewestOnTop) {
  game.world.in_session = 0;
  add_log_entry(game.log, LOG_EVENT, "destroyed", "Vera Kassian");
  add_log_entry(game.log, LOG_CHAT, "nice", "Ann");
  add_log_entry(game.log, LOG_EVENT, "obliterated", "Kassian Zo\xc3\xab");
  game.log.entries[2].age = 120;
  game.log.entries[1].age = 30;
  game.log.entries[0].age = 20;
  const test_gl::Frame stacked = draw();

  hide_log_entries(game.log);
  draw();
  glDisable(GL_LIGHTING);
  glColor3f(1, 1, 1);
  draw_text(game, 0, 431, "Ann: nice", 0);  // entry 1's row
  glColor3f(1, 20 * 0.005f, 20 * 0.005f);  // the fade of its age
  draw_text(game, (640 - 10 * 24) / 2, 232, "Kassian Zo\xc3\xab: obliterated", 0);
  glColor3f(1, 120 * 0.005f, 120 * 0.005f);
  draw_text(game, (640 - 10 * 23) / 2, 216, "Vera Kassian: destroyed", 0);
  const test_gl::Frame expected = test_gl::read_frame(kWidth, kHeight);
  EXPECT_EQ(changed(expected, stacked), 0);
}

TEST_F(Frames, ParticlesOff) {
  build_battle(game);
  game.settings.particles_enabled = 0;
  expect_reference("particles_off");
  game.settings.particles_enabled = 1;
  hide_log_entries(game.log);
  const test_gl::Frame with = draw();
  game.settings.particles_enabled = 0;
  EXPECT_GT(changed(with, draw()), 100);
}

TEST_F(Frames, RenderingLeavesTheMatrixStackAndStateAsFound) {
  build_battle(game);
  GLint depth_before = 0, depth_after = 0;
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth_before);
  draw();
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth_after);
  EXPECT_EQ(depth_after, depth_before);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(Frames, ParticleExactlyAtItsViewDistanceIsNotDrawn) {
  Particle& puff = game.world.particle_pool[500];
  puff.active = 1;
  puff.x = 0.3f, puff.y = -0.1f, puff.z = 3;
  puff.red = puff.green = puff.blue = puff.life = 1;
  const float distance = planar_distance(0, 0, puff.x, puff.z);
  puff.view_distance = 0;
  const test_gl::Frame empty = draw();
  puff.view_distance = distance;
  EXPECT_EQ(changed(empty, draw()), 0);
  puff.view_distance = distance + 0.01f;
  EXPECT_GT(changed(empty, draw()), 20);
}

TEST_F(Frames, TheLocalPlayersOwnSlotIsNeverDrawnAsAnotherTank) {
  game.world.tank.local_player_id = 4;
  const test_gl::Frame without = draw();
  PlayerSlot& own = game.world.player_table[3];
  own.active = own.in_play = 1;
  own.player_id = 4;
  own.z = 5;
  EXPECT_EQ(changed(without, draw()), 0);
  own.player_id = 5;
  EXPECT_GT(changed(without, draw()), 500);
}

// Glass close ahead of the eye hides the parts of the local tank behind it,
// exactly as an opaque wall in its place would: the tank shows on the same
// pixels either way.
TEST_F(Frames, GlassWithinTheLocalTanksReachHidesThePartsBehindIt) {
  game.world.level = LevelTable{};
  LevelObject& pane = add_box(game, -3, -3.2f, 0.8f, 6, 6, 0.1f, 5);
  auto tank_pixels = [&] {
    game.world.tank.in_play = 0;
    const test_gl::Frame without = draw();
    game.world.tank.in_play = 1;
    return changed(without, draw());
  };
  const int64_t behind_wall = tank_pixels();
  pane.translucent = 1;
  const int64_t behind_glass = tank_pixels();
  EXPECT_GT(behind_wall, 1000);
  EXPECT_NEAR(static_cast<double>(behind_glass), static_cast<double>(behind_wall), behind_wall * 0.01);
  // The same pane given from another corner, with negative sizes, as a level
  // file may give it (two of them, so its faces still wind outwards).
  pane.x = 3, pane.y = 2.8f;
  pane.size_x = pane.size_y = -6;
  EXPECT_NEAR(static_cast<double>(tank_pixels()), static_cast<double>(behind_wall), behind_wall * 0.01);
}

// Whatever lies outside the view is left out, and the picture never shows
// it: shells, puffs, tanks and boxes (glass among them) all round the eye,
// some just beyond the view's edges, some on them, frames compared with
// nothing left out, looking all round and up and down. Near boxes, whose
// faces are magnified (the renderer's mipmap choice spared), and far ones,
// whose faces are not, look the same either way.
TEST_F(Frames, LeavingOutWhatCannotBeSeenNeverChangesThePicture) {
  build_battle(game);
  hide_log_entries(game.log);
  WorldState& world = game.world;
  for (int i = 0; i < 256; ++i) {
    const float angle = static_cast<float>(i) * 0.0245f, radius = 2.0f + static_cast<float>(i % 7);
    Projectile& shot = world.projectile_table[static_cast<std::size_t>(i)];
    shot.active = 1;
    shot.x = radius * std::sin(angle), shot.y = -0.6f + 0.01f * static_cast<float>(i % 90), shot.z = radius * std::cos(angle);
  }
  for (int i = 0; i < 1000; ++i) {
    const float angle = static_cast<float>(i) * 0.00628f, radius = 1.0f + static_cast<float>(i % 11) * 0.5f;
    Particle& puff = world.particle_pool[static_cast<std::size_t>(i)];
    puff.active = 1;
    puff.x = radius * std::sin(angle), puff.y = -0.5f + 0.002f * static_cast<float>(i % 500), puff.z = radius * std::cos(angle);
    puff.view_distance = 40;
    puff.red = puff.green = puff.blue = 1, puff.life = 0.5f;
  }
  for (int i = 1; i < 8; ++i) {
    PlayerSlot& tank = world.player_table[static_cast<std::size_t>(i)];
    tank = PlayerSlot{};
    tank.active = tank.in_play = 1;
    tank.player_id = static_cast<uint32_t>(i + 1);
    const float angle = static_cast<float>(i) * 0.9f;
    tank.x = 5 * std::sin(angle), tank.z = 5 * std::cos(angle);
    tank.hull_heading = 40.0f * static_cast<float>(i), tank.turret_heading = 25.0f * static_cast<float>(i);
  }
  add_box(game, 9, -1, -4, 1, 3, 1, 2).translucent = 1;
  add_box(game, -5, -1, -9, -2, 3, -1, 2).translucent = 1;
  add_box(game, 14, -1, 3, 2, 2, -2, 5);
  add_box(game, -4, -3.2f, 1.2f, 8, 8, 0.1f, 2).translucent = 1;  // a pane filling the view ahead
  add_box(game, 1.5f, -1, -1.5f, -1, 1.4f, 1, 5).texture_mode = 0;  // a crate at arm's length
  add_box(game, -2.5f, -1, -0.5f, 1, 1.4f, -1, 2);
  int64_t changed_pixels = 0;
  for (float pitch : {-30.0f, 0.0f, 35.0f})
    for (float heading = 0; heading < 360; heading += 24) {
      world.camera.camera_heading = world.tank.turret_heading = heading;
      world.camera.camera_pitch = world.tank.gun_pitch = pitch;
      game.graphics.spare_work = false;
      const test_gl::Frame everything = draw();
      game.graphics.spare_work = true;
      changed_pixels += changed(everything, draw());
    }
  EXPECT_EQ(changed_pixels, 0);
}

// Rows of the picture's column x that differ between two frames.
int changed_rows(const test_gl::Frame& a, const test_gl::Frame& b, int x) {
  int rows = 0;
  for (int y = 0; y < b.height; ++y) rows += std::memcmp(a.at(x, y), b.at(x, y), 3) != 0;
  return rows;
}

TEST_F(Frames, PillarLiftGrowsWithItsHeightWhileASlabOnlyMoves) {
  game.world.level = LevelTable{};
  add_box(game, -30, -2, -10, 60, 1, 60, 1);
  const test_gl::Frame floor_only = draw();
  LevelObject& lift = add_box(game, -0.5f, 1.0f, 10, 1, 0.5f, 1, 2);
  lift.kind = LEVEL_KIND_LIFT;
  lift.lift_base_y = -1;
  auto rows_at = [&](float y) {
    lift.y = y;
    return changed_rows(floor_only, draw(), 320);
  };
  const int slab_low = rows_at(1.0f), slab_high = rows_at(2.0f);
  lift.lift_pillar = 1;
  const int pillar_low = rows_at(1.0f), pillar_high = rows_at(2.0f);
  // A slab keeps its size; a pillar reaches from -1 up by 0.5 + y: 1.5, then 2.5.
  EXPECT_GT(slab_low, 5);
  EXPECT_NEAR(static_cast<double>(slab_high) / slab_low, 1.0, 0.25);
  EXPECT_GT(pillar_low, 2 * slab_low);
  EXPECT_NEAR(static_cast<double>(pillar_high) / pillar_low, 2.5 / 1.5, 0.1);
}

TEST_F(Frames, BoxNamingAnEmptySlotIsDrawnWithTheDefaultTexture) {
  game.world.level = LevelTable{};
  add_box(game, -1, -1, 5, 2, 2, 1, 600);
  add_box(game, -1, 1.5f, 5, 2, 2, 1, -7);
  const test_gl::Frame frame = draw();
  // Untextured, lit by ambient light only: a flat 0.7 grey.
  const uint8_t* pixel = frame.at(320, 250);
  EXPECT_NEAR(pixel[0], 179, 3);
  EXPECT_EQ(pixel[0], pixel[2]);
}

TEST_F(Frames, MessageLinesAgeWhileShownAndLongLinesAreCut) {
  add_log_entry(game.log, LOG_CHAT, std::string(79, 'x').c_str(), std::string(79, 's').c_str());
  game.log.entries[2].age = LOG_VISIBLE_FRAMES;
  draw();
  EXPECT_EQ(game.log.entries[0].age, 1);
  EXPECT_EQ(game.log.entries[2].age, LOG_VISIBLE_FRAMES);
  // The cut line is the first 79 characters of "source: text".
  hide_log_entries(game.log);
  draw();
  glColor3f(1, 1, 1);
  draw_text(game, 0, 415, (std::string(79, 's')).c_str(), 0);
  const test_gl::Frame expected = test_gl::read_frame(kWidth, kHeight);
  add_log_entry(game.log, LOG_CHAT, std::string(79, 'x').c_str(), std::string(79, 's').c_str());
  EXPECT_EQ(changed(expected, draw()), 0);
}

TEST_F(Frames, HudShowsMusicTimeAsMinutesAndSecondsOnlyInASession) {
  game.world.music_track = 2;  // 223 s: "3:43"
  game.world.tank.health = 100;
  game.world.frames_per_second = 60;
  struct Case {
    uint32_t elapsed_ms;
    const char* music;
  };
  for (const Case& c : {Case{65999, "MUSIC: 1:05/3:43"}, Case{5000, "MUSIC: 0:05/3:43"}}) {
    SCOPED_TRACE(c.music);
    test_gl::fake_millis = 1000 + c.elapsed_ms;
    game.world.music_track_start_ms = 1000;
    game.world.in_session = 0;
    draw();
    auto right = [](const char* s) { return 630 - 10 * static_cast<int32_t>(std::strlen(s)); };
    glColor3f(1, 1, 1);
    draw_text(game, right("FPS: 60"), 463, "FPS: 60", 0);
    draw_text(game, 0, 0, "HEALTH: 100", 0);
    draw_text(game, right(c.music), 0, c.music, 0);
    const test_gl::Frame expected = test_gl::read_frame(kWidth, kHeight);
    game.world.in_session = 1;
    EXPECT_EQ(changed(expected, draw()), 0);
  }
}

// UTF-8 text: one glyph per character, never blanks. The lowercase Latin-1
// letters have glyphs of their own in both sets, the uppercase ones show
// their unaccented capital, anything else and broken bytes a '?'.
TEST_F(Frames, TextOutsideAsciiIsDrawnOneGlyphPerCharacter) {
  glClearColor(0, 0, 0, 0);
  auto text_frame = [&](const char* text, int32_t set) {
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(1, 1, 1);
    draw_text(game, 20, 100, text, set);
    return test_gl::read_frame(kWidth, kHeight);
  };
  for (int32_t set : {0, 1}) {
    SCOPED_TRACE(set);
    const test_gl::Frame unknown = text_frame("A?B", set);
    EXPECT_EQ(changed(unknown, text_frame("A\xe9" "B", set)), 0);            // a Latin-1 byte, not UTF-8
    EXPECT_EQ(changed(unknown, text_frame("A\xf0\x9f\x98\x80" "B", set)), 0);  // beyond Latin-1
    EXPECT_EQ(changed(unknown, text_frame("A\xc3\xb7" "B", set)), 0);       // the division sign
    EXPECT_EQ(changed(text_frame("A??B", set), text_frame("A\xc0\xaf" "B", set)), 0);  // overlong: two broken bytes
    EXPECT_EQ(changed(text_frame("ZURICH", set), text_frame("Z\xc3\x9cRICH", set)), 0);
    const test_gl::Frame plain = text_frame("Zurich Cafe", set);
    const test_gl::Frame accented = text_frame("Z\xc3\xbcrich Caf\xc3\xa9", set);
    EXPECT_GT(changed(plain, accented), 4);  // the dots and the accent
    EXPECT_LT(changed(plain, accented), 80);
    // Every lowercase letter U+00DF..U+00FF has ink of its own.
    for (unsigned letter = 0xDF; letter <= 0xFF; ++letter) {
      if (letter == 0xF7) continue;
      const char utf8[3] = {static_cast<char>(0xC0 | (letter >> 6)), static_cast<char>(0x80 | (letter & 0x3F)), 0};
      EXPECT_GT(changed(text_frame(" ", set), text_frame(utf8, set)), 10) << std::hex << letter;
    }
  }
  EXPECT_EQ(text_columns("Caf\xc3\xa9 Z\xc3\xbcrich"), 11);
  EXPECT_EQ(text_columns("\xe9\xe9"), 2);
  EXPECT_EQ(text_columns("\xe2\x82"), 2);  // a character cut short: two broken bytes
  EXPECT_EQ(text_columns(std::string(300, 'x').c_str()), 255);
}

TEST_F(Frames, TextLeavesStateAsPromisedAndTreatsOddInputSafely) {
  glClearColor(0, 0, 0, 0);
  auto text_frame = [&](const char* text, int32_t set) {
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(1, 1, 1);
    draw_text(game, 20, 100, text, set);
    return test_gl::read_frame(kWidth, kHeight);
  };
  const test_gl::Frame spaced = text_frame("A B", 0);
  EXPECT_EQ(changed(spaced, text_frame("A\tB", 0)), 0);
  EXPECT_EQ(changed(spaced, text_frame("A B", 2)), 0);
  EXPECT_EQ(changed(spaced, text_frame("A B", -1)), 0);
  EXPECT_GT(changed(spaced, text_frame("A B", 1)), 20);
  const test_gl::Frame blank = text_frame("", 0);
  EXPECT_EQ(changed(blank, text_frame("   ", 0)), 0);
  text_frame(std::string(1000, 'W').c_str(), 0);  // cut at 255 characters

  glDisable(GL_LIGHTING);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(3, 4, 5);
  glColor4f(0.25f, 0.5f, 0.75f, 1);
  draw_text(game, -50, -50, "off screen", 0);
  GLint mode = 0, bound = 0;
  GLfloat matrix[16], colour[4];
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
  glGetFloatv(GL_CURRENT_COLOR, colour);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(mode, GL_MODELVIEW);
  EXPECT_FLOAT_EQ(matrix[12], 3);
  EXPECT_FLOAT_EQ(colour[1], 0.5f);
  EXPECT_EQ(bound, static_cast<GLint>(game.textures.slots[0].texture_name));
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

}  // namespace
