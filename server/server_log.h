// The server's log on standard output: one line an event, each beginning
// with the local date and time, for an operator to read and a journal to
// keep. Joins, departures, kills and chat lines are taken from the host's
// own traffic as it passes through its transport, so the log says exactly
// what the players were told.
#pragma once

#include <array>
#include <cstdint>

#include "net/protocol.h"
#include "platform/session.h"

struct GameCore;

// The refusals of one sender's messages: a line at the first, then at most
// one a second with the number since the last line, so that a hostile
// stream cannot flood the log.
struct RefusalCount {
  uint32_t sender = 0;  // 0: unused
  uint32_t count = 0;   // since the last line
  double last_line_ms = 0;
  bool lined = false;  // a line has been written for the sender
};

// Milliseconds on a steady clock; tests put a clock of their own.
using LogClock = double (*)();
double steady_log_ms();

struct ServerLog {
  GameCore* host = nullptr;
  Transport network{};  // the host's session transport, underneath the watch
  LogClock clock = steady_log_ms;
  std::array<RefusalCount, 8> refusals{};
  // The periodic status line: frames and traffic since the last one.
  double period_start_ms = 0;
  int64_t period_frames = 0;
  platform::SessionTraffic period_traffic{};
  bool quiet_kills = false;  // kills are not logged one by one
};

// One line: the date and time, then the text as printf formats it.
void log_line(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The start of a line written elsewhere: the date and time and a blank.
void log_line_start();

// Puts the log between the host game and its session, and takes the host's
// refusals of messages. Call once the session's transport exists (after
// create_directplay). The transport underneath keeps every service,
// the round trips the score table reads included.
void watch_host(ServerLog& log, GameCore& host);

// Counts the frame that began at frame_start_ms; once every `seconds`
// (0: never) writes the status line: players in the game (the server's own
// seat aside, computer players among them), frames a second and the bytes a
// second sent and received.
void count_frame(ServerLog& log, double frame_start_ms, int32_t seconds, int32_t computer_players);

// Every player's score, one line each, most kills first: written when the
// game ends, so that the journal keeps how it ended. The server's own seat
// is left out; it never plays.
void log_scores(const GameCore& host);
