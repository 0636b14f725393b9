// The configuration shared by the game and the configurator: the screen
// resolutions both offer, the values of config.dat, and the game's reader.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

struct Resolution {
  int32_t width;
  int32_t height;
  const char* label;  // the configurator's list text
};

// The same six rows in both programs; config.dat stores the row number.
inline constexpr std::array<Resolution, 6> resolution_table = {{
    {320, 240, "320x240"},
    {400, 300, "400x300"},
    {512, 384, "512x384"},
    {640, 480, "640x480"},
    {800, 600, "800x600"},
    {1024, 768, "1024x768"},
}};
inline constexpr int32_t kDefaultResolutionRow = 3;

inline constexpr std::size_t kPlayerNameSize = 40;    // 39 characters + NUL
inline constexpr std::size_t kHostAddressSize = 256;  // 255 characters + NUL

// Flags hold whatever integer the file gave; every user tests them as zero
// or nonzero.
struct GameSettings {
  int32_t screen_width = 0;
  int32_t screen_height = 0;
  int32_t resolution_index = 0;
  int32_t use_ipx = 0;
  int32_t use_tcpip = 0;
  int32_t particles_enabled = 0;
  int32_t sound_enabled = 0;
  int32_t music_enabled = 0;
  int32_t is_host = 0;
  char player_name[kPlayerNameSize] = {};
  char host_address[kHostAddressSize] = {};
};

// Reads an open config.dat into settings. Returns 1 when the file began with
// "MRVN_CONFIG" and was read to its end, 0 when its first token is anything
// else (the defaults are then in force).
int read_config(GameSettings& settings, std::FILE* stream);

// Networking is on when either transport is configured.
inline bool networking_on(const GameSettings& settings) {
  return settings.use_ipx != 0 || settings.use_tcpip != 0;
}
