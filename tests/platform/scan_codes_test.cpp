#include <gtest/gtest.h>

#include <SDL.h>

#include <map>
#include <set>

#include "platform/scan_codes.h"
#include "world/input.h"

namespace {

using platform::game_scan_code;

TEST(ScanCodes, KeysTheGameReadsDirectly) {
  const std::map<SDL_Scancode, uint8_t> keys = {
      {SDL_SCANCODE_ESCAPE, 1},   {SDL_SCANCODE_BACKSPACE, kScanBackspace},
      {SDL_SCANCODE_T, kScanT},   {SDL_SCANCODE_RETURN, kScanEnter},
      {SDL_SCANCODE_UP, kScanUp}, {SDL_SCANCODE_LEFT, kScanLeft},
      {SDL_SCANCODE_RIGHT, kScanRight}, {SDL_SCANCODE_DOWN, kScanDown},
      {SDL_SCANCODE_SPACE, 57},
  };
  for (const auto& [sdl, code] : keys) EXPECT_EQ(game_scan_code(sdl), code) << SDL_GetScancodeName(sdl);
  EXPECT_EQ(kScanUp, 200);
  EXPECT_EQ(kScanLeft, 203);
  EXPECT_EQ(kScanRight, 205);
  EXPECT_EQ(kScanDown, 208);
}

TEST(ScanCodes, EveryKeyTypesItsCharacter) {
  // Letters and digits by name, punctuation and the keypad by position.
  const std::map<SDL_Scancode, char> keys = {
      {SDL_SCANCODE_MINUS, '-'},      {SDL_SCANCODE_EQUALS, '='},      {SDL_SCANCODE_LEFTBRACKET, '['},
      {SDL_SCANCODE_RIGHTBRACKET, ']'}, {SDL_SCANCODE_BACKSLASH, '\\'}, {SDL_SCANCODE_COMMA, ','},
      {SDL_SCANCODE_PERIOD, '.'},     {SDL_SCANCODE_SLASH, '/'},       {SDL_SCANCODE_KP_MULTIPLY, '*'},
      {SDL_SCANCODE_SPACE, ' '},      {SDL_SCANCODE_KP_MINUS, '-'},    {SDL_SCANCODE_KP_PLUS, '+'},
      {SDL_SCANCODE_KP_PERIOD, '.'},  {SDL_SCANCODE_KP_0, '0'},        {SDL_SCANCODE_KP_5, '5'},
      {SDL_SCANCODE_KP_9, '9'},
  };
  for (const auto& [sdl, c] : keys)
    EXPECT_EQ(scan_code_to_char(game_scan_code(sdl)), c) << SDL_GetScancodeName(sdl);
  for (int i = 0; i < 26; ++i) {
    const auto sdl = static_cast<SDL_Scancode>(SDL_SCANCODE_A + i);
    EXPECT_EQ(scan_code_to_char(game_scan_code(sdl)), 'A' + i);
  }
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(scan_code_to_char(game_scan_code(SDL_SCANCODE_1 + i)), '1' + i);
    EXPECT_EQ(scan_code_to_char(game_scan_code(SDL_SCANCODE_KP_1 + i)), '1' + i);
  }
  EXPECT_EQ(scan_code_to_char(game_scan_code(SDL_SCANCODE_0)), '0');
}

TEST(ScanCodes, EveryCharacterCanBeTypedAndNoTwoKeysShareACode) {
  std::set<uint8_t> reached;
  std::map<uint8_t, int> keys_per_code;
  for (int sdl = 0; sdl < SDL_NUM_SCANCODES; ++sdl) {
    const uint8_t code = game_scan_code(sdl);
    if (code == 0) continue;
    reached.insert(code);
    if (sdl != SDL_SCANCODE_NONUSHASH) ++keys_per_code[code];  // an ISO alias of backslash
  }
  for (unsigned code = 1; code <= 85; ++code) {
    if (scan_code_to_char(code) != 0) {
      EXPECT_TRUE(reached.count(static_cast<uint8_t>(code))) << code;
    }
  }
  for (const auto& [code, count] : keys_per_code) EXPECT_EQ(count, 1) << int(code);
  EXPECT_EQ(game_scan_code(-1), 0);
  EXPECT_EQ(game_scan_code(SDL_NUM_SCANCODES), 0);
  EXPECT_EQ(game_scan_code(SDL_SCANCODE_UNKNOWN), 0);
}

}  // namespace
