// The keyboard and mouse as the game reads them once per frame: a 256-byte
// key state indexed by scan code, smoothed relative mouse motion and the
// first mouse button (world/input.h fills and reads it).
#pragma once

#include <array>
#include <cstdint>

// Scan codes the game reads directly.
inline constexpr uint8_t kScanBackspace = 14;
inline constexpr uint8_t kScanTab = 15;  // held: the score table
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
