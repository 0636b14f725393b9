// Where the menus drawn over the 3D view stand (menus/ draws them).
#pragma once

#include <cstdint>

struct MenuState {
  int32_t session_menu_phase = 0;  // 0: connect next frame; 1: list shown
  int32_t menu_cursor = 0;         // session list 0..7, pause menu 0..4
  int32_t session_scroll = 0;      // the listed game shown in the session list's first row
};
