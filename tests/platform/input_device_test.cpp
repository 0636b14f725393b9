#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <memory>

#include "core/game.h"
#include "platform/input_device.h"
#include "platform/sdl_events.h"
#include "platform/window.h"
#include "world/input_devices.h"

namespace {

// A game with its window on SDL's off-screen driver, where relative mouse
// mode does not exist: opening the devices must work there too.
class InputDevices : public testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    game_ = std::make_unique<Game>();
    game_->shell.main_window = platform::create_main_window("input test", 320, 240);
    ASSERT_NE(game_->shell.main_window, nullptr);
    ASSERT_EQ(input_open(*game_), 1);
  }
  void TearDown() override {
    input_close(*game_);
    platform::destroy_window(game_->shell.main_window);
  }

  static void key(SDL_Scancode scancode, bool down) {
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.keysym.scancode = scancode;
    platform::input_devices_record_event(event);
  }
  static void motion(int dx, int dy) {
    SDL_Event event{};
    event.type = SDL_MOUSEMOTION;
    event.motion.xrel = dx;
    event.motion.yrel = dy;
    platform::input_devices_record_event(event);
  }
  static void button(uint8_t which, bool down) {
    SDL_Event event{};
    event.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    event.button.button = which;
    platform::input_devices_record_event(event);
  }
  static void focus(bool gained) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = gained ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST;
    platform::input_devices_record_event(event);
  }

  std::unique_ptr<Game> game_;
};

TEST_F(InputDevices, KeysAreHeldFromDownToUp) {
  key(SDL_SCANCODE_UP, true);
  key(SDL_SCANCODE_T, true);
  ASSERT_EQ(input_poll(*game_), 1);
  EXPECT_EQ(game_->input.key_state[kScanUp], kKeyDownBit);
  EXPECT_TRUE(key_down(game_->input, kScanT));
  EXPECT_FALSE(key_down(game_->input, kScanDown));
  key(SDL_SCANCODE_UP, false);
  input_poll(*game_);
  EXPECT_FALSE(key_down(game_->input, kScanUp));
  EXPECT_TRUE(key_down(game_->input, kScanT));
}

TEST_F(InputDevices, MouseMotionIsHalvedFrameByFrame) {
  motion(3, -4);
  motion(7, -6);  // one frame's motion adds up
  const int expected_x[] = {5, 2, 1, 0};
  const int expected_y[] = {-5, -2, -1, 0};
  for (int frame = 0; frame < 4; ++frame) {
    ASSERT_EQ(input_poll(*game_), 1);
    EXPECT_EQ(game_->input.mouse_dx, expected_x[frame]) << frame;
    EXPECT_EQ(game_->input.mouse_dy, expected_y[frame]) << frame;
  }
}

TEST_F(InputDevices, OnlyTheFirstButtonFires) {
  button(SDL_BUTTON_RIGHT, true);
  input_poll(*game_);
  EXPECT_EQ(game_->input.mouse_button, 0);
  button(SDL_BUTTON_LEFT, true);
  input_poll(*game_);
  EXPECT_NE(game_->input.mouse_button, 0);
  button(SDL_BUTTON_LEFT, false);
  input_poll(*game_);
  EXPECT_EQ(game_->input.mouse_button, 0);
}

TEST_F(InputDevices, LosingTheForegroundReleasesAndReturningAcquiresAgain) {
  key(SDL_SCANCODE_UP, true);
  button(SDL_BUTTON_LEFT, true);
  input_poll(*game_);
  motion(40, 0);
  focus(false);
  EXPECT_EQ(input_poll(*game_), 5);  // the keyboard read fails: no key counts as held
  EXPECT_FALSE(key_down(game_->input, kScanUp));
  key(SDL_SCANCODE_DOWN, true);  // not ours while in the background
  focus(true);
  ASSERT_EQ(input_poll(*game_), 1);
  EXPECT_FALSE(key_down(game_->input, kScanUp));
  EXPECT_FALSE(key_down(game_->input, kScanDown));
  EXPECT_EQ(game_->input.mouse_button, 0);
  EXPECT_EQ(game_->input.mouse_dx, 0);
  key(SDL_SCANCODE_DOWN, true);
  input_poll(*game_);
  EXPECT_TRUE(key_down(game_->input, kScanDown));
}

TEST_F(InputDevices, EventsPushedThroughTheWindowReachTheKeyboard) {
  SDL_Event event{};
  event.type = SDL_KEYDOWN;
  event.key.keysym.scancode = SDL_SCANCODE_RETURN;
  ASSERT_EQ(SDL_PushEvent(&event), 1);
  platform::WindowEvent window_event;
  while (platform::take_event(game_->shell.main_window, window_event)) {
  }
  input_poll(*game_);
  EXPECT_TRUE(key_down(game_->input, kScanEnter));
}

TEST(InputOpen, NeedsTheWindow) {
  auto game = std::make_unique<Game>();
  EXPECT_EQ(input_open(*game), 5);
  EXPECT_EQ(input_close(*game), 1);
  EXPECT_EQ(input_poll(*game), 5);
}

}  // namespace
