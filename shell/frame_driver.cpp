#include "shell/frame_driver.h"

#include <cstdint>

#include "core/game_core.h"
#include "net/session.h"

namespace {

// The host numbers shots in order (projectile_next, wrapping after 255), in
// the receive stage for its players and in the simulation for its own
// tank: the numbers a frame used are those from `first` up to the next
// number now, and each slot still names its shooter, even when its shell
// has already ended.
void tally_numbered_shots(GameCore& game, int32_t first) {
  const WorldState& world = game.world;
  const auto count = static_cast<int32_t>(kProjectileCount);
  ShotTally& tally = game.shots;
  for (int32_t number = first; number != world.projectile_next; number = (number + 1) % count) {
    if (number < 0 || number >= count) return;  // not a number the host gave
    const uint32_t owner = world.projectile_table[static_cast<std::size_t>(number)].owner_id;
    ShotTally::Shooter* entry = nullptr;
    for (ShotTally::Shooter& shooter : tally.shooters) {
      if (shooter.player_id == owner || shooter.player_id == 0) {
        entry = &shooter;
        break;
      }
    }
    if (!entry) {
      ++tally.numbered_untallied;
      continue;
    }
    entry->player_id = owner;
    ++entry->numbered;
  }
}

}  // namespace

int run_frame(GameCore& game, const FrameStages& stages) {
  WorldState& world = game.world;
  const int32_t next_shot = world.projectile_next;
  stages.input_poll(game);
  stages.send_status(game);
  stages.receive_messages(game);
  stages.update_music_rotation(game);
  // The simulation's constants are tuned for 85 frames per second.
  const float step = 85.0f / static_cast<float>(static_cast<uint32_t>(world.frames_per_second));
  if (world.in_session == 1) {
    // In the simulation the gun's wait starts anew only when it fires
    // (entering play sets it too, but in a later stage).
    const float cooldown = world.tank.fire_cooldown;
    if (stages.simulation_step(game, step) != 1) return 0;
    if (world.tank.fire_cooldown > cooldown) ++game.shots.fired;
  }
  tally_numbered_shots(game, next_shot);
  if (stages.render_frame(game) != 1) return 0;
  if (world.in_session == 0) {
    if (stages.session_menu_frame(game) != 1) return 0;
  } else {
    if (world.pause_menu_open && stages.pause_menu_frame(game) != 1) return 0;
    if (world.chat_entry_open && stages.chat_entry_frame(game) != 1) return 0;
    if (world.awaiting_entry && stages.entry_prompt_frame(game) != 1) return 0;
  }
  flush_session(game);
  world.frame_counter += 1.0f;
  return 1;
}

int32_t measure_frames_per_second(double duration_ms) {
  // A frame of 0 ms (the millisecond fallback clock) counts as 1 ms, and one
  // of more than a second as 1 frame per second, so the step stays finite.
  // Frames shorter than a millisecond (the high-resolution counter) are
  // measured as they are: counting them as 1 ms would run the simulation
  // too fast on a machine that draws over a thousand frames a second.
  if (!(duration_ms > 0.0)) return 1000;
  const double fps = 1000.0 / duration_ms;
  if (fps >= static_cast<double>(INT32_MAX)) return INT32_MAX;
  return fps < 1.0 ? 1 : static_cast<int32_t>(fps);
}
