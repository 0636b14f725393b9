// The keyboard and mouse as the game reads them: once per frame, a 256-byte
// key state indexed by scan code, smoothed relative mouse motion and the
// first mouse button. The devices that fill it are the window's
// (world/input_devices.h); anything else may fill it too.
#pragma once

#include <cstdint>

#include "core/input_state.h"

// One frame's relative mouse motion, as every reading of the mouse takes
// it: averaged with the last reading, so each past frame's motion counts
// half as much as the one after it (10 counts read 5, then 2, 1, 0).
void take_mouse_motion(InputState& input, int32_t dx, int32_t dy);

// The character of a scan code, 0 for none. Letters are upper case.
char scan_code_to_char(unsigned scan_code);
