// The message log's table: the four newest notices for the screen, newest
// first (net/message_log.h adds to it).
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
