// The screens drawn over the 3D view: the session menu, the pause menu and
// the entry prompt.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/menu_state.h"

struct Game;
struct SessionEntry;

inline constexpr float GAME_VERSION = 0.55f;

int session_menu_frame(Game& game);
int pause_menu_frame(Game& game);
int entry_prompt_frame(Game& game);

// A listed game's row: "name (players/seats)", or, when some players are
// computer players (who give their seats up to a person), "name (persons +
// computers computer/seats)", so that a game they fill does not look full.
void format_session_row(char* line, std::size_t size, const SessionEntry& entry);
// A row of the list of local and internet games: the round trip of this
// program's query ("-- ms" before the game has answered), then the row as
// above.
void format_listed_row(char* line, std::size_t size, const SessionEntry& entry);
