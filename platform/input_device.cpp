// The devices are built from the window's own events rather than from SDL's
// keyboard and mouse state, so that events pushed by tests count exactly
// like a player's. The devices are "acquired" while the window is in front:
// then keys and motion are recorded and the mouse is the game's alone
// (relative mode: the pointer is hidden and held). When the window goes to
// the background they are released and forget every held key, and when it
// comes back they are acquired again.
#include "platform/input_device.h"

#include <cstring>
#include <limits>

#include "platform/scan_codes.h"
#include "platform/sdl_events.h"

namespace platform {

namespace {

constexpr uint8_t kDown = 0x80;

struct Devices {
  bool open = false;
  bool acquired = false;
  uint8_t keys[256] = {};
  int64_t motion_x = 0;
  int64_t motion_y = 0;
  uint8_t first_button = 0;
};

Devices g_devices;

void forget_input() {
  std::memset(g_devices.keys, 0, sizeof g_devices.keys);
  g_devices.motion_x = g_devices.motion_y = 0;
  g_devices.first_button = 0;
}

void acquire() {
  g_devices.acquired = true;
  // Drivers without relative mode (the off-screen one) still report motion
  // from the pointer's position, so a refusal here is not a failure.
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_SetRelativeMouseMode(SDL_TRUE);
}

void unacquire() {
  g_devices.acquired = false;
  forget_input();
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_SetRelativeMouseMode(SDL_FALSE);
}

int32_t take_motion(int64_t& motion) {
  constexpr int64_t kLow = std::numeric_limits<int32_t>::min();
  constexpr int64_t kHigh = std::numeric_limits<int32_t>::max();
  const int64_t value = motion < kLow ? kLow : (motion > kHigh ? kHigh : motion);
  motion = 0;
  return static_cast<int32_t>(value);
}

void add_motion(int64_t& motion, int32_t delta) {
  // Far beyond any real motion between two frames; keeps the sum bounded.
  constexpr int64_t kLimit = int64_t{1} << 40;
  motion += delta;
  if (motion > kLimit) motion = kLimit;
  if (motion < -kLimit) motion = -kLimit;
}

void record_window_event(const SDL_WindowEvent& window) {
  switch (window.event) {
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_FOCUS_GAINED:
    case SDL_WINDOWEVENT_RESTORED:
      acquire();
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
    case SDL_WINDOWEVENT_MINIMIZED:
    case SDL_WINDOWEVENT_HIDDEN:
      unacquire();
      break;
    default:
      break;
  }
}

}  // namespace

void input_devices_record_event(const SDL_Event& event) {
  if (!g_devices.open) return;
  if (event.type == SDL_WINDOWEVENT) {
    record_window_event(event.window);
    return;
  }
  if (!g_devices.acquired) return;
  switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      const uint8_t code = game_scan_code(event.key.keysym.scancode);
      if (code != 0) g_devices.keys[code] = event.type == SDL_KEYDOWN ? kDown : 0;
      break;
    }
    case SDL_MOUSEMOTION:
      add_motion(g_devices.motion_x, event.motion.xrel);
      add_motion(g_devices.motion_y, event.motion.yrel);
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      if (event.button.button == SDL_BUTTON_LEFT)
        g_devices.first_button = event.type == SDL_MOUSEBUTTONDOWN ? kDown : 0;
      break;
    default:
      break;
  }
}

bool input_devices_open(Window* window) {
  if (!window) return false;
  g_devices = Devices{};
  g_devices.open = true;
  acquire();
  return true;
}

void input_devices_close() {
  if (!g_devices.open) return;
  unacquire();
  g_devices.open = false;
}

bool read_keyboard(uint8_t (&key_state)[256]) {
  if (!g_devices.open || !g_devices.acquired) return false;
  std::memcpy(key_state, g_devices.keys, sizeof g_devices.keys);
  return true;
}

bool read_mouse(int32_t& dx, int32_t& dy, uint8_t& first_button) {
  if (!g_devices.open || !g_devices.acquired) return false;
  dx = take_motion(g_devices.motion_x);
  dy = take_motion(g_devices.motion_y);
  first_button = g_devices.first_button;
  return true;
}

}  // namespace platform
