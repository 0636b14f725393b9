// The keyboard's scan-code numbering as the game uses it: the classic set-1
// codes, with the extended keys (arrows, keypad Enter, right-hand modifiers
// and the navigation block) at 0x80 plus their code.
#pragma once

#include <cstdint>

namespace platform {

// The game's scan code of an SDL scancode; 0 for keys the game cannot name.
uint8_t game_scan_code(int sdl_scancode);

}  // namespace platform
