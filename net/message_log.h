// The message log: the four newest notices for the screen, newest first.
#pragma once

#include <array>
#include <cstdint>

enum LogCategory : int32_t {
  LOG_CHAT = 0,
  LOG_NOTICE = 1,
  LOG_ERROR = 4,
  LOG_EVENT = 8,
};

inline constexpr int32_t LOG_VISIBLE_FRAMES = 200;
inline constexpr std::size_t kLogTextSize = 80;  // 79 characters + NUL

struct LogEntry {
  int32_t age = 0;  // frames shown; visible while below LOG_VISIBLE_FRAMES
  char text[kLogTextSize] = {};
  char source[kLogTextSize] = {};
  int32_t category = 0;
};

struct MessageLog {
  std::array<LogEntry, 4> entries{};  // entry 0 is the newest
  // The game program also writes every message to standard output, so a
  // player (or a script) can follow the game from a terminal. A message
  // equal to the one before is counted instead of written again.
  bool echo = false;
  LogEntry last_echoed{};
  uint32_t repeats = 0;
};

// Pushes one message; the oldest falls out. Texts are cut at 79 characters
// and their control characters replaced (see below). Returns 1.
int add_log_entry(MessageLog& log, int32_t category, const char* text, const char* source);

// Hides every entry, as at start-up.
void hide_log_entries(MessageLog& log);

// Replaces every control character (codes below 32, and 127) of a
// NUL-terminated text with '?'. Names and texts from other players pass
// through here before they are stored, so that nobody can send escape
// sequences to another player's terminal or garble the screen.
void replace_control_characters(char* text);
