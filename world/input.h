// The keyboard and mouse as the game reads them: once per frame, a 256-byte
// key state indexed by scan code, smoothed relative mouse motion and the
// first mouse button. The devices that fill it are the window's
// (world/input_devices.h); anything else may fill it too.
#pragma once

#include <array>
#include <cstdint>

// Scan codes the game reads directly.
inline constexpr uint8_t kScanBackspace = 14;
inline constexpr uint8_t kScanT = 20;
inline constexpr uint8_t kScanEnter = 28;
inline constexpr uint8_t kScanUp = 200;
inline constexpr uint8_t kScanLeft = 203;
inline constexpr uint8_t kScanRight = 205;
inline constexpr uint8_t kScanDown = 208;
inline constexpr uint8_t kKeyDownBit = 0x80;

struct InputState {
  std::array<uint8_t, 256> key_state{};  // bit 7 set = key down
  int32_t mouse_dx = 0;
  int32_t mouse_dy = 0;
  uint8_t mouse_button = 0;  // nonzero = first button down
};

inline bool key_down(const InputState& input, uint8_t scan_code) {
  return (input.key_state[scan_code] & kKeyDownBit) != 0;
}

// One frame's relative mouse motion, as every reading of the mouse takes
// it: averaged with the last reading, so each past frame's motion counts
// half as much as the one after it (10 counts read 5, then 2, 1, 0).
void take_mouse_motion(InputState& input, int32_t dx, int32_t dy);

// The character of a scan code, 0 for none. Letters are upper case.
char scan_code_to_char(unsigned scan_code);
