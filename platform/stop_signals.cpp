#include "platform/stop_signals.h"

namespace platform {

volatile std::sig_atomic_t stop_signal = 0;

namespace {

extern "C" void ask_to_stop(int signal_number) { stop_signal = signal_number; }

void handle(int signal_number, void (*handler)(int)) {
  struct sigaction action{};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
}

}  // namespace

void install_stop_signals(const StopSignals& signals) {
  handle(SIGINT, ask_to_stop);
  handle(SIGTERM, ask_to_stop);
  if (signals.hang_up) handle(SIGHUP, ask_to_stop);
  if (signals.ignore_broken_pipe) handle(SIGPIPE, SIG_IGN);
  if (signals.ignore_user2) handle(SIGUSR2, SIG_IGN);
}

const char* stop_signal_name(int signal_number) {
  switch (signal_number) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
  }
}

}  // namespace platform
