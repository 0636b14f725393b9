#include "world/input.h"

#include <array>

namespace {

// Characters of scan codes 0 to 85; 0 for keys without one. Letters are
// upper case only: there is no shift.
constexpr std::array<char, 86> kCharacters = {
    0,   0,   '1', '2', '3', '4', '5', '6', '7', '8', '9', '0', '-', '=', 0,   0,    // 0-15
    'Q', 'W', 'E', 'R', 'T', 'Y', 'U', 'I', 'O', 'P', '[', ']', 0,   0,             // 16-29
    'A', 'S', 'D', 'F', 'G', 'H', 'J', 'K', 'L', 0,   0,   0,   0,   '\\',          // 30-43
    'Z', 'X', 'C', 'V', 'B', 'N', 'M', ',', '.', '/', 0,   '*', 0,   ' ',           // 44-57
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,                  // 58-70
    '7', '8', '9', '-', '4', '5', '6', '+', '1', '2', '3', '0', '.',                // 71-83 keypad
    0,   0,                                                                         // 84-85
};

// Halves the influence of every past frame, truncating toward zero.
int32_t smoothed(int32_t previous, int32_t motion) {
  return static_cast<int32_t>((static_cast<int64_t>(previous) + motion) / 2);
}

}  // namespace

void take_mouse_motion(InputState& input, int32_t dx, int32_t dy) {
  input.mouse_dx = smoothed(input.mouse_dx, dx);
  input.mouse_dy = smoothed(input.mouse_dy, dy);
}

char scan_code_to_char(unsigned scan_code) {
  if (scan_code < 1 || scan_code >= kCharacters.size()) return 0;
  return kCharacters[scan_code];
}
