// The screens drawn over the 3D view: the session menu, the pause menu and
// the entry prompt.
#pragma once

#include <cstdint>

struct Game;

inline constexpr float GAME_VERSION = 0.55f;

struct MenuState {
  int32_t session_menu_phase = 0;  // 0: connect next frame; 1: list shown
  int32_t menu_cursor = 0;         // session list 0..7, pause menu 0..4
};

int session_menu_frame(Game& game);
int pause_menu_frame(Game& game);
int entry_prompt_frame(Game& game);
