#include "platform/text.h"

#include <cstring>

namespace platform {

namespace {

// The length of the well-formed UTF-8 sequence at the start of text (shortest
// form, no surrogates, at most U+10FFFF), or 0 when the bytes there are not
// one (a sequence the text's end cuts short among them).
std::size_t utf8_sequence_length(std::span<const uint8_t> text) {
  const uint8_t lead = text[0];
  std::size_t length = 0;
  uint8_t low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // shorter forms
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // shorter forms
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length || text[1] < low || text[1] > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (text[i] < 0x80 || text[i] > 0xBF) return 0;
  return length;
}

}  // namespace

std::size_t clean_text(std::span<const uint8_t> raw, char* out, std::size_t out_size) {
  if (out_size == 0) return 0;
  const void* nul = std::memchr(raw.data(), 0, raw.size());
  if (nul) raw = raw.first(static_cast<std::size_t>(static_cast<const uint8_t*>(nul) - raw.data()));
  std::size_t in = 0, written = 0;
  while (in < raw.size()) {
    const uint8_t c = raw[in];
    std::size_t taken = 1, length = 1;
    bool replaced = c < 32 || c == 127;
    if (c >= 0x80) {
      length = utf8_sequence_length(raw.subspan(in));
      if (length == 0) {
        replaced = true;  // a byte that is no character: a C1 code to a terminal taking it as Latin-1
        length = 1;
      } else if (length == 2 && c == 0xC2 && raw[in + 1] <= 0x9F) {
        replaced = true;  // U+0080..U+009F, the C1 control codes
      }
      taken = length;
      if (replaced) length = 1;
    }
    if (written + length > out_size - 1) break;  // never half a character
    // Writing never overtakes reading when out is raw itself (in place).
    if (replaced) out[written] = '?';
    else std::memmove(out + written, raw.data() + in, length);
    written += length;
    in += taken;
  }
  std::memset(out + written, 0, out_size - written);
  return written;
}

void replace_control_characters(char* text) {
  const std::size_t length = std::strlen(text);
  clean_text({reinterpret_cast<const uint8_t*>(text), length}, text, length + 1);
}

}  // namespace platform
