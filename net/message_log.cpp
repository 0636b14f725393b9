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

void hide_log_entries(MessageLog& log) {
  // Entries show while their age is below 200; 201 keeps the log empty on screen.
  for (LogEntry& entry : log.entries) entry.age = LOG_VISIBLE_FRAMES + 1;
}
