// Bringing the game from nothing to the title screen, and back.
#pragma once

#include <cstdint>

struct Game;

enum StartupCode : int32_t {
  STARTUP_FAILED = 0,
  STARTUP_OK = 1,
  STARTUP_COM_FAILED = 2,
  STARTUP_NETWORK_FAILED = 4,
  STARTUP_INPUT_FAILED = 5,
  STARTUP_SOUND_FAILED = 6,
  STARTUP_NOT_CONFIGURED = 9,
};

inline constexpr const char* kConfigFileName = "config.dat";
inline constexpr const char* kLevelFileName = "default.mvl";
// The window title line: the product name and a credit line naming its maker.
inline constexpr const char* kWindowTitle = "Morvane - tank combat by the Morvane team";

// Runs every start-up step in order; stops at the first failure with its
// code, leaving its text in error_text.
int start_up(Game& game);
// Releases everything start_up acquired; safe after a start-up that stopped
// anywhere. Returns 1.
int shut_down(Game& game);
// Switches the drawing surface to width x height; only 16 bits per pixel is
// used. Returns 1, or 8.
int set_display_mode(Game& game, int32_t width, int32_t height, int32_t bits_per_pixel);
