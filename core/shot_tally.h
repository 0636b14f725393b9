// Shots counted for the state report (shell/state_report.h): how many the
// program's own tank fired, and on the host how many it numbered for each
// shooter. The frame driver counts them; nothing in the game reads them,
// so that a test can tell from outside whether every shot fired reached
// the host.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Shooters the host keeps a count for, in the order of their first shot;
// ids are never reused in a session, and a game rarely sees this many.
inline constexpr std::size_t kTalliedShooters = 16;

struct ShotTally {
  int32_t fired = 0;  // shells the own tank's gun has sent
  struct Shooter {
    uint32_t player_id = 0;  // 0: a free entry
    int32_t numbered = 0;
  };
  std::array<Shooter, kTalliedShooters> shooters{};
  int32_t numbered_untallied = 0;  // for shooters beyond the table
};
