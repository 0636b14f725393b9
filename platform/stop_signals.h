// The signals that end a program without a window properly: each program's
// own loop watches stop_signal and closes down in its own way (the server
// tells every player, the list logs its count) rather than dying on the
// spot.
#pragma once

#include <csignal>

namespace platform {

// The signal that asked the program to stop; 0 until one did. Written by
// the handler alone.
extern volatile std::sig_atomic_t stop_signal;

struct StopSignals {
  // SIGHUP (the terminal or the SSH session that started it closed) stops
  // it too, rather than killing it.
  bool hang_up = true;
  // A reader that goes away (SIGPIPE) must not end the program.
  bool ignore_broken_pipe = true;
  // SIGUSR2, which holds morvane-bot's players still, means nothing here.
  bool ignore_user2 = false;
};

// SIGINT and SIGTERM ask to stop, and the others as chosen.
void install_stop_signals(const StopSignals& signals);

// "SIGINT", "SIGTERM", "SIGHUP", or "a signal".
const char* stop_signal_name(int signal_number);

}  // namespace platform
