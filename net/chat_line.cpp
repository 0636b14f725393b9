// The chat line editor: typing a line with held-key repeat, Backspace and
// Enter. The window draws the line over the game while it is open
// (draw_chat_entry); the editor itself draws nothing.
#include <cstring>

#include "core/game_core.h"
#include "net/protocol.h"
#include "world/input.h"

namespace {

constexpr std::size_t CHAT_LINE_MAX = 40;  // characters a line may hold
constexpr uint32_t kChatKeyDelay = 20;     // frames before a held key repeats
constexpr int kLastTrackedScanCode = 89;   // keys watched for release
constexpr int kLastTypedScanCode = 87;     // keys that may type a character

// The highest scan code from 0 to last that is down, or -1. Tab is not the
// editor's: held, it shows the score table, and must neither hold back the
// next key nor count as one.
int highest_key_down(const InputState& input, int last) {
  for (int code = last; code >= 0; --code)
    if (code != kScanTab && key_down(input, static_cast<uint8_t>(code))) return code;
  return -1;
}

void send_chat(GameCore& game, const char* line) {
  TextMessage message;
  message.header.type = MSG_CHAT;
  message.header.valid = 1;
  message.header.sender = game.world.tank.local_player_id;
  std::strncpy(message.text, line, sizeof message.text - 1);
  const auto bytes = encode_message(message);
  send_to_host(game, bytes);
}

}  // namespace

int chat_entry_frame(GameCore& game) {
  WorldState& world = game.world;
  const InputState& input = game.input;
  char* line = world.chat_line;
  std::size_t length = strnlen(line, kChatLineSize - 1);

  // Releasing the key lets the next one through at once.
  if (!key_down(input, game.protocol.last_chat_key)) world.key_delay = 0;
  const int held = highest_key_down(input, kLastTrackedScanCode);
  if (held >= 0) game.protocol.last_chat_key = static_cast<uint8_t>(held);

  if (world.key_delay == 0) {
    const int typed = highest_key_down(input, kLastTypedScanCode);
    const char c = typed >= 0 ? scan_code_to_char(static_cast<unsigned>(typed)) : 0;
    if (c != 0 && length < CHAT_LINE_MAX) {
      line[length++] = c;
      line[length] = '\0';
      world.key_delay = kChatKeyDelay;
    }
  }
  if (key_down(input, kScanBackspace) && world.key_delay == 0 && length > 0) {
    line[--length] = '\0';
    world.key_delay = kChatKeyDelay;
  }
  if (key_down(input, kScanEnter) && world.key_delay == 0 && length > 0) {
    world.key_delay = kChatKeyDelay;
    world.chat_entry_open = 0;
    // Without a network the line is dropped; with one it reaches the log
    // when the host handles or relays it.
    if (networking_on(game.settings)) send_chat(game, line);
  }
  return 1;
}
