#include "platform/input_device.h"

#include "platform/sdl_events.h"

namespace platform {

// Stand-ins until the input devices land.
void input_devices_record_event(const SDL_Event&) {}
bool input_devices_open(Window*) { return true; }
void input_devices_close() {}
bool read_keyboard(uint8_t (&key_state)[256]) {
  for (uint8_t& key : key_state) key = 0;
  return true;
}
bool read_mouse(int32_t& dx, int32_t& dy, uint8_t& first_button) {
  dx = dy = 0;
  first_button = 0;
  return true;
}

}  // namespace platform
