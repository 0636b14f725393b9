#include "world/input_devices.h"

#include <cstdint>

#include "core/game.h"
#include "platform/input_device.h"
#include "world/input.h"

int input_open(Game& game) {
  return platform::input_devices_open(game.shell.main_window) ? 1 : 5;
}

int input_close(Game&) {
  platform::input_devices_close();
  return 1;
}

int input_poll(Game& game) {
  InputState& input = game.input;
  uint8_t keys[256];
  if (!platform::read_keyboard(keys)) {
    input.key_state.fill(0);
    return 5;
  }
  for (std::size_t i = 0; i < input.key_state.size(); ++i) input.key_state[i] = keys[i];
  int32_t dx = 0, dy = 0;
  uint8_t button = 0;
  if (!platform::read_mouse(dx, dy, button)) return 5;
  take_mouse_motion(input, dx, dy);
  input.mouse_button = button;
  return 1;
}
