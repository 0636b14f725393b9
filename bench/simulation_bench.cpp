// Cost of one simulation step on the host at the worst case: 8 tanks, 256
// shells (one in 32 hitscan, then none), 1000 smoke puffs and a level of
// 256 boxes.
// A step of a 250 ms frame is measured too: the tank's motion is cut into
// steps of at most one tuned frame.
// The world is put back before every step, so every step sees the full
// load; the figures are microseconds of CPU time per step, median, 99th
// percentile and worst.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "battle.h"
#include "core/game.h"
#include "world/level.h"
#include "world/projectiles.h"
#include "world/simulation.h"

namespace {

constexpr int kSteps = 3000;

// The thread's own CPU time: on a busy machine the wall clock would count
// the time other programs held the core.
double now_us() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e6 + now.tv_nsec * 1e-3;
}

template <typename Step>
void report(const char* name, Game& game, const WorldState& start, Step step) {
  std::vector<double> times;
  times.reserve(kSteps);
  for (int i = 0; i < kSteps; ++i) {
    game.world = start;
    const double before = now_us();
    step();
    times.push_back(now_us() - before);
  }
  std::sort(times.begin(), times.end());
  std::printf("  %-28s median %7.1f us   99th %7.1f us   worst %7.1f us\n", name, times[times.size() / 2],
              times[times.size() * 99 / 100], times.back());
}

}  // namespace

int main() {
  auto game = std::make_unique<Game>();
  auto shipped = std::make_unique<LevelTable>();
  if (load_level(*shipped, MORVANE_GAME_DIR "/default.mvl") != 1) {
    std::fprintf(stderr, "no level file in %s\n", MORVANE_GAME_DIR);
    return 1;
  }
  for (int32_t hitscan_every : {32, 0}) {
    BattleLoad load = kWorstCase;
    load.boxes = 256;
    load.hitscan_every = hitscan_every;
    shape_level(game->world.level, *shipped, load.boxes);
    populate_battle(*game, load);
    game->settings.is_host = 1;
    auto start = std::make_unique<WorldState>(game->world);
    std::printf("simulation on the host: 8 tanks, 256 shells (%s), 1000 puffs, 256 boxes\n",
                hitscan_every ? "8 hitscan" : "none hitscan");
    report("simulation_step", *game, *start, [&] { simulation_step(*game, 1.0f); });
    // A frame of 250 ms: the tank's motion runs as 22 shorter steps.
    report("simulation_step, 250 ms", *game, *start, [&] { simulation_step(*game, 21.25f); });
    report("advance_projectiles", *game, *start, [&] { advance_projectiles(*game, 1.0f); });
    report("advance_particles", *game, *start, [&] { advance_particles(*game, 1.0f); });
  }
  return 0;
}
