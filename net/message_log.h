// The message log: the four newest notices for the screen, newest first.
#pragma once

#include <cstdint>

#include "core/message_log_state.h"
#include "platform/text.h"

// Pushes one message; the oldest falls out. Texts are cut at 79 characters
// and their control characters replaced (see below). Returns 1.
int add_log_entry(MessageLog& log, int32_t category, const char* text, const char* source);

// Hides every entry, as at start-up.
void hide_log_entries(MessageLog& log);

// Names and texts from other players pass through replace_control_characters
// (platform/text.h) before they are stored, so that nobody can send escape
// sequences to another player's terminal or garble the screen.
using platform::replace_control_characters;
