// The keyboard and mouse devices: a 256-byte key state indexed by the
// game's scan codes, relative mouse motion and the first button, built from
// the window's events.
#pragma once

#include <cstdint>

namespace platform {

struct Window;

// Creates the devices on the window; false on failure.
bool input_devices_open(Window* window);
void input_devices_close();
// Copies the key state (bit 7 = down); false when the keyboard cannot be read.
bool read_keyboard(uint8_t (&key_state)[256]);
// Takes the motion gathered since the last read and the first button's state;
// false when the mouse cannot be read.
bool read_mouse(int32_t& dx, int32_t& dy, uint8_t& first_button);

}  // namespace platform
