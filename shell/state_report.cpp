#include "shell/state_report.h"

#include <csignal>
#include <cstdio>

#include "core/game_core.h"
#include "net/score.h"

namespace {

volatile std::sig_atomic_t g_report_asked = 0;  // set by the signal handler only

extern "C" void ask_for_report(int) { g_report_asked = 1; }

}  // namespace

void install_state_report() { std::signal(SIGUSR1, ask_for_report); }

void report_state_if_asked(const GameCore& game) { report_state_if_asked(game, nullptr); }

void report_state_if_asked(const GameCore& game, void (*line_start)()) {
  if (!g_report_asked) return;
  g_report_asked = 0;
  if (line_start) line_start();
  const WorldState& world = game.world;
  std::printf("STATE frame=%.0f fps=%d players=", static_cast<double>(world.frame_counter),
              world.frames_per_second);
  for (const PlayerSlot& slot : world.player_table)
    if (slot.active) std::printf("%u:%.39s:%d,", slot.player_id, slot.name, slot.health);
  std::printf(" projectiles=");
  for (std::size_t i = 0; i < world.projectile_table.size(); ++i)
    if (world.projectile_table[i].active) std::printf("%zu,", i);
  // Kills and deaths by seat, as the host counted them. Round trips are
  // left out: they are measured again every second, so two programs'
  // lines would differ by them alone.
  std::printf(" scores=");
  for (std::size_t i = 0; i < world.player_table.size(); ++i) {
    if (!world.player_table[i].active) continue;
    const ScoreRow score = score_of_slot(game, i);
    std::printf("%u:%d:%d,", score.player_id, score.kills, score.deaths);
  }
  std::printf("\n");
  std::fflush(stdout);
}
