// The shots the frame driver counts for the state report, and the report's
// line as the network tests read it.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <memory>
#include <string>

#include "core/game_core.h"
#include "net/protocol.h"
#include "shell/frame_driver.h"
#include "shell/state_report.h"
#include "world/simulation.h"

namespace {

int no_stage(GameCore&) { return 1; }
void no_music(GameCore&) {}
int hold_the_trigger(GameCore& game) {
  game.input.mouse_button = 1;
  return 1;
}
int enter_on_fire(GameCore& game) {
  enter_play_on_fire(game);
  return 1;
}

// Two requests to fire from player 2 reach the host in the frame, and the
// first one's shell ends at once.
int two_requests_from_player_two(GameCore& game) {
  FireMessage request;
  request.header = {MSG_FIRE, 1, 2};
  request.owner_id = 2;
  const int32_t first = game.world.projectile_next;
  handle_game_message(game, encode_message(request), 2, 1);
  handle_game_message(game, encode_message(request), 2, 1);
  send_projectile_gone(game, first);
  return 1;
}

const FrameStages kShootingFrame{hold_the_trigger, no_stage, no_stage, no_music, simulation_step,
                                 no_stage,         no_stage, no_stage, no_stage, enter_on_fire};
const FrameStages kRequestsFrame{no_stage, no_stage, two_requests_from_player_two, no_music, simulation_step,
                                 no_stage, no_stage, no_stage, no_stage, enter_on_fire};

std::unique_ptr<GameCore> player(uint32_t id, bool host) {
  auto game = std::make_unique<GameCore>();
  game->settings.is_host = host ? 1 : 0;
  game->world.in_session = 1;
  game->world.frames_per_second = 85;
  game->world.tank.local_player_id = id;
  for (uint32_t seat : {1u, 2u}) {
    PlayerSlot& slot = game->world.player_table[seat - 1];
    slot.active = 1;
    slot.player_id = seat;
    std::snprintf(slot.name, sizeof slot.name, "%s", seat == 1 ? "Hostess" : "Bot Alfa");
  }
  return game;
}

int32_t numbered_for(const GameCore& game, uint32_t id) {
  for (const ShotTally::Shooter& shooter : game.shots.shooters)
    if (shooter.player_id == id) return shooter.numbered;
  return 0;
}

std::string report(const GameCore& view, std::span<const GameCore* const> own) {
  install_state_report();
  std::raise(SIGUSR1);
  testing::internal::CaptureStdout();
  report_state_if_asked(view, own);
  return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(ShotTally, CountsShotsFiredInPlayAndShotsTheHostNumberedByShooter) {
  auto host = player(1, true);
  host->world.awaiting_entry = 1;
  // The click that enters play fires nothing; then one shell every 60
  // frames while the trigger is held.
  for (int frame = 0; frame < 130; ++frame) run_frame(*host, kShootingFrame);
  EXPECT_EQ(host->world.tank.in_play, 1);
  EXPECT_EQ(host->shots.fired, 2);
  EXPECT_EQ(numbered_for(*host, 1), 2);

  // Another player's requests, across the wrap of the shot numbers, one
  // of them ended in the frame it was numbered; the host holds its tank in
  // play.
  PlayerSlot& other = host->world.player_table[1];
  other.in_play = 1;
  other.health = 100;
  host->world.projectile_next = 255;
  run_frame(*host, kRequestsFrame);
  run_frame(*host, kRequestsFrame);
  EXPECT_EQ(host->world.projectile_next, 3);
  EXPECT_EQ(numbered_for(*host, 2), 4);
  EXPECT_EQ(numbered_for(*host, 1), 2);

  // A client fires, and numbers nothing: its shells are the host's to number.
  auto client = player(2, false);
  client->world.tank.in_play = 1;
  client->world.tank.health = 100;
  for (int frame = 0; frame < 61; ++frame) run_frame(*client, kShootingFrame);
  EXPECT_EQ(client->shots.fired, 2);
  EXPECT_EQ(client->shots.shooters[0].player_id, 0u);
}

TEST(StateReport, TheSharedGameComesFirstThenEachOwnTankAndTheHostsCounts) {
  auto host = player(1, true);
  host->world.player_table[0].health = 100;
  host->world.player_table[0].in_play = 1;
  host->world.player_table[1].health = 50;
  host->world.projectile_table[7].active = 1;
  host->world.tank = LocalTank{1.0f, 2.5f, -3.0f};
  host->world.tank.local_player_id = 1;
  host->world.tank.health = 100;
  host->world.tank.in_play = 1;
  host->shots.fired = 4;
  host->shots.shooters[0] = {1, 4};
  host->shots.shooters[1] = {2, 9};
  host->protocol.stale_fire_requests = 3;
  host->protocol.refused_shots = 1;
  auto bot = player(2, false);
  bot->world.tank.local_player_id = 2;
  bot->world.tank.health = 50;
  bot->shots.fired = 11;

  const GameCore* only_host[] = {host.get()};
  const std::string line = report(*host, only_host);
  EXPECT_EQ(line.substr(line.find(" players=")),
            " players=1:Hostess:100,2:Bot Alfa:50, projectiles=7, scores=1:0:0,2:0:0, in_play=1:1,2:0,"
            " own=1:100:1:4:1.00:2.50:-3.00, numbered=1:4,2:9, stale=3 refused=1\n");

  const GameCore* both[] = {host.get(), bot.get()};
  EXPECT_NE(report(*host, both).find(" own=1:100:1:4:1.00:2.50:-3.00,2:50:0:11:0.00:0.00:0.00, "),
            std::string::npos);
  testing::internal::CaptureStdout();
  report_state_if_asked(*host, both);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "a line without a signal";
}
