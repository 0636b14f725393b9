// The stop signals of the programs without a window, raised in this very
// process with the test's own dispositions put back afterwards.
#include "platform/stop_signals.h"

#include <gtest/gtest.h>

#include <array>

namespace {

constexpr std::array<int, 5> kTouched = {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGUSR2};

struct SavedDispositions {
  std::array<struct sigaction, kTouched.size()> saved{};
  SavedDispositions() {
    for (std::size_t i = 0; i < kTouched.size(); ++i) sigaction(kTouched[i], nullptr, &saved[i]);
  }
  ~SavedDispositions() {
    for (std::size_t i = 0; i < kTouched.size(); ++i) sigaction(kTouched[i], &saved[i], nullptr);
    platform::stop_signal = 0;
  }
};

void (*disposition(int signal_number))(int) {
  struct sigaction now{};
  sigaction(signal_number, nullptr, &now);
  return now.sa_handler;
}

}  // namespace

TEST(StopSignals, EachStopsWithItsNameAndTheIgnoredOnesEndNothing) {
  SavedDispositions keep;
  // The server's: SIGHUP stops, SIGPIPE and SIGUSR2 are ignored (raising
  // either would end this test program were they not).
  platform::install_stop_signals({.ignore_user2 = true});
  for (const int stopping : {SIGINT, SIGTERM, SIGHUP}) {
    platform::stop_signal = 0;
    std::raise(stopping);
    EXPECT_EQ(platform::stop_signal, stopping);
  }
  EXPECT_STREQ(platform::stop_signal_name(SIGHUP), "SIGHUP");
  EXPECT_STREQ(platform::stop_signal_name(SIGUSR1), "a signal");
  platform::stop_signal = 0;
  std::raise(SIGPIPE);
  std::raise(SIGUSR2);
  EXPECT_EQ(platform::stop_signal, 0);

  // The bots': only SIGINT and SIGTERM; the others are left as they were.
  SavedDispositions fresh;
  signal(SIGHUP, SIG_DFL);
  signal(SIGPIPE, SIG_DFL);
  platform::install_stop_signals({.hang_up = false, .ignore_broken_pipe = false});
  EXPECT_EQ(disposition(SIGHUP), SIG_DFL);
  EXPECT_EQ(disposition(SIGPIPE), SIG_DFL);
  std::raise(SIGTERM);
  EXPECT_EQ(platform::stop_signal, SIGTERM);
}
