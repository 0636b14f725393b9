// The screens drawn over the 3D view: the session menu, the pause menu and
// the entry prompt.
#pragma once

#include <cstdint>

#include "core/menu_state.h"

struct Game;

inline constexpr float GAME_VERSION = 0.55f;

int session_menu_frame(Game& game);
int pause_menu_frame(Game& game);
int entry_prompt_frame(Game& game);
