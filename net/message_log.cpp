#include "net/message_log.h"

#include <cstdio>
#include <cstring>

namespace {

// Copies at most size - 1 characters and always terminates.
void copy_cut(char* dest, std::size_t size, const char* src) {
  std::size_t n = src ? strnlen(src, size - 1) : 0;
  std::memcpy(dest, src ? src : "", n);
  std::memset(dest + n, 0, size - n);
  replace_control_characters(dest);
}

void echo_entry(MessageLog& log, const LogEntry& entry) {
  LogEntry& last = log.last_echoed;
  if (entry.category == last.category && std::strcmp(entry.text, last.text) == 0 &&
      std::strcmp(entry.source, last.source) == 0) {
    ++log.repeats;
    return;
  }
  if (log.repeats > 0) std::printf("(the line above was repeated %u more times)\n", log.repeats);
  std::printf("%s: %s\n", entry.source, entry.text);
  std::fflush(stdout);
  last = entry;
  log.repeats = 0;
}

}  // namespace

int add_log_entry(MessageLog& log, int32_t category, const char* text, const char* source) {
  // Shifted entries keep their age, so they keep their remaining display time.
  for (std::size_t i = log.entries.size() - 1; i > 0; --i) log.entries[i] = log.entries[i - 1];
  LogEntry& newest = log.entries[0];
  newest.age = 0;
  copy_cut(newest.text, sizeof newest.text, text);
  copy_cut(newest.source, sizeof newest.source, source);
  newest.category = category;
  if (log.echo) echo_entry(log, newest);
  return 1;
}

namespace {

// The length of the well-formed UTF-8 sequence at text (shortest form, no
// surrogates, at most U+10FFFF), or 0 when the bytes there are not one.
// The text's NUL ends any sequence it falls into.
std::size_t utf8_sequence_length(const unsigned char* text) {
  const unsigned char lead = text[0];
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
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
  if (text[1] < low || text[1] > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (text[i] < 0x80 || text[i] > 0xBF) return 0;
  return length;
}

}  // namespace

void replace_control_characters(char* text) {
  auto* in = reinterpret_cast<unsigned char*>(text);
  auto* out = in;
  while (*in != '\0') {
    const unsigned char c = *in;
    if (c < 0x80) {
      *out++ = (c < 32 || c == 127) ? '?' : c;
      ++in;
      continue;
    }
    const std::size_t length = utf8_sequence_length(in);
    if (length == 0) {
      *out++ = '?';  // a byte that is no character: a C1 code to a terminal taking it as Latin-1
      ++in;
    } else if (length == 2 && c == 0xC2 && in[1] <= 0x9F) {
      *out++ = '?';  // U+0080..U+009F, the C1 control codes
      in += 2;
    } else {
      for (std::size_t i = 0; i < length; ++i) *out++ = *in++;
    }
  }
  // The text can only have shrunk; what it left behind is cleared.
  while (out < in) *out++ = '\0';
}

void hide_log_entries(MessageLog& log) {
  // Entries show while their age is below 200; 201 keeps the log empty on screen.
  for (LogEntry& entry : log.entries) entry.age = LOG_VISIBLE_FRAMES + 1;
}
