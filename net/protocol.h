// What the players' programs say to each other: status, shots, removals,
// health, chat and events, and the chat line editor.
#pragma once

#include <cstdint>

struct Game;

struct ProtocolState {
  uint8_t last_chat_key = 0;
};

int send_status(Game& game);
int receive_messages(Game& game);
int chat_entry_frame(Game& game);
