// The message log: the four newest notices for the screen, newest first.
#pragma once

#include <cstdint>

#include "core/message_log_state.h"

// Pushes one message; the oldest falls out. Texts are cut at 79 characters
// and their control characters replaced (see below). Returns 1.
int add_log_entry(MessageLog& log, int32_t category, const char* text, const char* source);

// Hides every entry, as at start-up.
void hide_log_entries(MessageLog& log);

// Replaces every control character of a NUL-terminated text with '?':
// codes below 32 and 127, the C1 codes U+0080..U+009F written in UTF-8, and
// every byte that is not part of a well-formed UTF-8 character (a terminal
// reading Latin-1 would take the bytes 0x80..0x9F as C1 codes). Other UTF-8
// characters stay as they are, so "Zoë" stays "Zoë"; a character that took
// more than one byte becomes a single '?', and the text is then shorter,
// with the rest of its field cleared up to the old end. Names and texts
// from other players pass through here before they are stored, so that
// nobody can send escape sequences to another player's terminal or garble
// the screen.
void replace_control_characters(char* text);
