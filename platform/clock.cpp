#include "platform/clock.h"

#include <SDL.h>

namespace platform {

bool performance_frequency(int64_t& counts_per_second) {
  counts_per_second = static_cast<int64_t>(SDL_GetPerformanceFrequency());
  return counts_per_second > 0;
}

int64_t performance_counter() { return static_cast<int64_t>(SDL_GetPerformanceCounter()); }

uint32_t millisecond_clock() { return SDL_GetTicks(); }

}  // namespace platform
