// Inside the platform layer only: the window's event pump hands every
// keyboard and mouse event to the input devices on its way through.
#pragma once

#include <SDL.h>

namespace platform {

void input_devices_record_event(const SDL_Event& event);

}  // namespace platform
