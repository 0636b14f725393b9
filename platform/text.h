// Texts from other players made safe to show and to write to a terminal:
// the one cleaning rule that the session layer applies to the names it
// relays and the game to every name and text it stores.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace platform {

// Copies the text in raw (up to its first NUL or its end) into out, a field
// of out_size bytes, with every control character replaced by '?': codes
// below 32 and 127, the C1 codes U+0080..U+009F written in UTF-8 (one '?'
// for the two bytes), and every byte that is not part of a well-formed UTF-8
// character (shortest form, no surrogates, at most U+10FFFF; a terminal
// reading Latin-1 would take the bytes 0x80..0x9F as C1 codes). Other
// characters stay as they are, so "Zoë" stays "Zoë". A text too long for
// the field is cut after the last whole character that fits, never inside
// one. The rest of the field is cleared. Returns the length written.
std::size_t clean_text(std::span<const uint8_t> raw, char* out, std::size_t out_size);

// The same, in place on a NUL-terminated text, which can only shrink: a
// character that took more than one byte becomes a single '?', and the
// rest of the text's old length is cleared.
void replace_control_characters(char* text);

}  // namespace platform
