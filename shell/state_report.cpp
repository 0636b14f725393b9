#include "shell/state_report.h"

#include <csignal>
#include <cstdio>

#include "core/game_core.h"
#include "net/score.h"

namespace {

volatile std::sig_atomic_t g_report_asked = 0;  // set by the signal handler only

extern "C" void ask_for_report(int) { g_report_asked = 1; }

void print_shared_view(const GameCore& game) {
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
  std::printf(" in_play=");
  for (const PlayerSlot& slot : world.player_table)
    if (slot.active) std::printf("%u:%d,", slot.player_id, slot.in_play ? 1 : 0);
}

// The tank as its own program drives it. Positions to the hundredth: enough
// to see a copy lag behind, and the same on every machine.
void print_own_tank(const GameCore& game) {
  const LocalTank& tank = game.world.tank;
  std::printf("%u:%d:%d:%d:%.2f:%.2f:%.2f,", tank.local_player_id, tank.health, tank.in_play ? 1 : 0,
              game.shots.fired, static_cast<double>(tank.x), static_cast<double>(tank.y),
              static_cast<double>(tank.z));
}

void print_host_counts(const GameCore& view) {
  std::printf(" numbered=");
  for (const ShotTally::Shooter& shooter : view.shots.shooters)
    if (shooter.player_id != 0) std::printf("%u:%d,", shooter.player_id, shooter.numbered);
  if (view.shots.numbered_untallied > 0) std::printf("other:%d,", view.shots.numbered_untallied);
  std::printf(" stale=%u refused=%u\n", view.protocol.stale_fire_requests, view.protocol.refused_shots);
  std::fflush(stdout);
}

}  // namespace

void install_state_report() { std::signal(SIGUSR1, ask_for_report); }

void report_state_if_asked(const GameCore& game, void (*line_start)()) {
  const GameCore* own[] = {&game};
  report_state_if_asked(game, own, line_start);
}

void report_state_if_asked(const GameCore& view, std::span<const GameCore* const> own_games,
                           void (*line_start)()) {
  if (!g_report_asked) return;
  g_report_asked = 0;
  if (line_start) line_start();
  print_shared_view(view);
  std::printf(" own=");
  for (const GameCore* game : own_games)
    if (game) print_own_tank(*game);
  print_host_counts(view);
}
