// config.dat as the configurator writes it: one setting a line, CR LF line
// ends, and a replacement that never leaves a half-written file behind.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct ConfigValues {
  int32_t resolution_row = 0;  // row of resolution_table
  bool sound = false;
  bool music = false;
  bool particles = false;
  std::string_view player_name;
  bool create_game = false;
  int32_t network_row = 0;  // 0 IPX, 1 TCP/IP, 2 none
  std::string_view ip_address;
};

// The ten lines of config.dat, byte for byte.
std::string format_config(const ConfigValues& values);

// Replaces the file at path with bytes: they go to a temporary file in the
// same directory, which is then renamed over the old file, so a failure
// leaves the old file (or no file) as it was. Returns an empty string on
// success, otherwise what went wrong, for the player.
std::string replace_file(const std::string& path, std::string_view bytes);
