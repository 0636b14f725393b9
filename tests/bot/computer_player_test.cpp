// A computer player alone in a game of its own (offline, so the game judges
// its shots itself), driven through the real frame driver and simulation:
// how it aims, fires, sees and drives.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "bot/bot_player.h"
#include "shell/main_loop.h"

namespace {

const std::string kShippedLevel = std::string(MORVANE_GAME_DIR) + "/default.mvl";
constexpr uint32_t kTargetId = 2;

struct Offline {
  BotPlayer bot;
  PlayerSlot& target() { return bot.game.world.player_table[1]; }
  const LocalTank& tank() const { return bot.game.world.tank; }
};

// An offline game judging its own shots, the player at the entry prompt,
// and a tank of another player (id 2) in slot 1.
std::unique_ptr<Offline> offline_bot(const LevelTable& level, int32_t skill, float target_x, float target_z) {
  auto offline = std::make_unique<Offline>();
  GameCore& game = offline->bot.game;
  game.settings.is_host = 1;
  game.world.level = level;
  game.world.level.entry_count = 0;  // the player enters at the origin, where the cases expect it
  start_computer_player(offline->bot.brain, skill, 7, level);
  game.world.in_session = 1;
  game.world.awaiting_entry = 1;
  game.world.frames_per_second = 85;
  game.world.tank.local_player_id = 1;
  PlayerSlot& target = offline->target();
  target.active = target.in_play = 1;
  target.player_id = kTargetId;
  target.health = 1 << 30;
  target.x = target_x;
  target.y = 0.0f;  // standing on the floor, whose top is at -1
  target.z = target_z;
  return offline;
}

// One frame in which the other tank's status arrives, as it does every
// frame from a player whose program is running.
void play_frame(Offline& offline) {
  hear_status(offline.bot.brain, kTargetId);
  run_bot_frame(offline.bot, 0);
}

void run_until_entered(Offline& offline) {
  for (int frame = 0; frame < 300 && !offline.tank().in_play; ++frame) play_frame(offline);
  ASSERT_TRUE(offline.tank().in_play);
}

std::unique_ptr<LevelTable> shipped_level() {
  auto level = std::make_unique<LevelTable>();
  EXPECT_EQ(load_level(*level, kShippedLevel.c_str()), 1);
  return level;
}

struct Gunnery {
  int shots = 0, hits = 0;
  float fastest_turn = 0;  // degrees of turret per frame
  double hit_rate() const { return shots ? static_cast<double>(hits) / shots : 0.0; }
};

// A tank crossing 25 ahead of the entry point, to and fro at 0.15 a frame;
// its health is far too high for any number of hits to end it (health that
// rises again is what a new entry looks like). Its statuses arrive unless
// `silent`.
Gunnery shoot_at_crossing_tank(Offline& offline, int frames, bool silent = false, float pace = 0.15f) {
  Gunnery result;
  GameCore& game = offline.bot.game;
  float direction = 1.0f;
  int32_t numbered = game.world.projectile_next;
  for (int frame = 0; frame < frames; ++frame) {
    PlayerSlot& target = offline.target();
    if (std::fabs(target.x + direction * pace) > 18.0f) direction = -direction;
    target.x += direction * pace;
    const float turret = offline.tank().turret_heading;
    const int32_t health = target.health;
    if (silent) {
      run_bot_frame(offline.bot, 0);
    } else {
      play_frame(offline);
    }
    const float turned = std::fabs(std::remainder(offline.tank().turret_heading - turret, 360.0f));
    result.fastest_turn = std::max(result.fastest_turn, turned);
    if (target.health < health) result.hits += 1;
    for (; numbered != game.world.projectile_next; numbered = (numbered + 1) % 256) result.shots += 1;
  }
  return result;
}

TEST(ComputerPlayer, LeadsACrossingTankAndAimsNoFasterThanAHand) {
  auto level = shipped_level();
  struct Case {
    const char* what;
    int32_t skill;
    bool leads;
    Gunnery result{};
  };
  Case cases[] = {{"hardest", kHardestSkill, true}, {"hardest, aiming at the tank", kHardestSkill, false},
                  {"easiest", kEasiestSkill, false}};
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto offline = offline_bot(*level, c.skill, 0.0f, -25.0f);
    offline->bot.brain.traits.leads_target = c.leads;
    run_until_entered(*offline);
    c.result = shoot_at_crossing_tank(*offline, 85 * 40);
    if (c.leads) {
      // The other program stops running frames (its window is inactive):
      // its statuses stop, and after a second the tank is left alone.
      shoot_at_crossing_tank(*offline, 85, true);
      EXPECT_EQ(offline->bot.brain.target_id, 0u);
      EXPECT_EQ(shoot_at_crossing_tank(*offline, 85 * 5, true).shots, 0) << "it fired at a frozen tank";
      // Back: it is fought again.
      EXPECT_GE(shoot_at_crossing_tank(*offline, 85 * 4).shots, 2);
      // The tank jumps, as it does on entering the game again: it is left
      // alone for three seconds, then fought again as it drives away.
      offline->target().x = offline->target().x > 0 ? -10.0f : 10.0f;
      EXPECT_EQ(shoot_at_crossing_tank(*offline, 85 * 3 - 10).shots, 0) << "it fired at a new entry";
      EXPECT_GE(shoot_at_crossing_tank(*offline, 85 * 4).shots, 2);
      // Unless it opens fire after entering.
      offline->target().x = offline->target().x > 0 ? -10.0f : 10.0f;
      EXPECT_EQ(shoot_at_crossing_tank(*offline, 85).shots, 0);
      hear_shot(offline->bot.brain, kTargetId);
      EXPECT_GE(shoot_at_crossing_tank(*offline, 85 * 2).shots, 1) << "it spared a tank that fired";
      // One that enters and stays where it entered is left alone for six
      // seconds, then fought.
      offline->target().x = offline->target().x > 0 ? -10.0f : 10.0f;
      EXPECT_EQ(shoot_at_crossing_tank(*offline, 85 * 6 - 10, false, 0.0f).shots, 0) << "it fired at a still entry";
      EXPECT_GE(shoot_at_crossing_tank(*offline, 85 * 2, false, 0.0f).shots, 1) << "it spared a still tank";
    }
    std::printf("%s: %d hits of %d shots, turret turned at most %.1f degrees a frame\n", c.what,
                c.result.hits, c.result.shots, static_cast<double>(c.result.fastest_turn));
    // The gun's 60-frame wait, whatever the button does.
    EXPECT_LE(c.result.shots, 85 * 40 / 60 + 1);
    EXPECT_GE(c.result.shots, 10);
    // Mouse counts of 0.1 degree each, no more than a hand's per frame, and
    // a degree a frame from the turning keys.
    EXPECT_LE(c.result.fastest_turn, static_cast<float>(skill_traits(c.skill).hand_counts) * 0.1f + 1.01f);
  }
  EXPECT_GE(cases[0].result.hit_rate(), 0.5);
  EXPECT_LT(cases[1].result.hit_rate(), cases[0].result.hit_rate() * 0.75);
  EXPECT_LT(cases[2].result.hit_rate(), cases[0].result.hit_rate() * 0.75);
}

// A floor walled all round and split across by a wall 1 thick at z 6..7,
// glass or not; the player enters on one side, the other tank stands at
// z 20 on the other.
std::unique_ptr<LevelTable> split_level(bool glass) {
  auto level = std::make_unique<LevelTable>();
  auto box = [&](float x, float y, float z, float sx, float sy, float sz, int translucent) {
    LevelObject& b = level->objects[static_cast<std::size_t>(level->count++)];
    b = LevelObject{};
    b.in_use = b.solid = 1;
    b.x = x, b.y = y, b.z = z, b.size_x = sx, b.size_y = sy, b.size_z = sz;
    b.translucent = translucent;
  };
  box(-40, -3, -40, 80, 2, 80, 0);
  box(-40, -1, -40, 80, 8, 1, 0);
  box(-40, -1, 39, 80, 8, 1, 0);
  box(-40, -1, -40, 1, 8, 80, 0);
  box(39, -1, -40, 1, 8, 80, 0);
  box(-40, -1, 6, 80, 8, 1, glass ? 1 : 0);
  return level;
}

TEST(ComputerPlayer, SeesThroughGlassButNeverShootsIntoIt) {
  for (const bool glass : {true, false}) {
    SCOPED_TRACE(glass ? "glass" : "a wall");
    auto level = split_level(glass);
    auto offline = offline_bot(*level, kHardestSkill, 0.0f, 20.0f);
    run_until_entered(*offline);
    bool targeted = false, aimed = false;
    for (int frame = 0; frame < 85 * 15; ++frame) {
      play_frame(*offline);
      const LocalTank& tank = offline->tank();
      targeted |= offline->bot.brain.target_id == kTargetId;
      const float bearing = std::atan2(-tank.x, 20.0f - tank.z) * 180.0f / 3.14159265f;
      aimed |= std::fabs(std::remainder(tank.turret_heading - bearing, 360.0f)) < 5.0f && tank.z < 5.0f;
      ASSERT_LT(tank.z, 5.0f) << "it got past the wall";
    }
    EXPECT_EQ(targeted, glass);
    if (glass) {
      EXPECT_TRUE(aimed);
    }
    EXPECT_EQ(offline->bot.game.world.projectile_next, 0) << "it fired";
  }
}

TEST(ComputerPlayer, EntersAfterAPauseRoamsAndEntersAgainAfterDeath) {
  auto level = shipped_level();
  auto offline = offline_bot(*level, kHardestSkill, 0.0f, 0.0f);
  offline->target().active = 0;  // alone in the level
  GameCore& game = offline->bot.game;
  int entered_at = -1;
  for (int frame = 0; frame < 300 && entered_at < 0; ++frame) {
    run_bot_frame(offline->bot, 0);
    if (offline->tank().in_play) entered_at = frame;
  }
  EXPECT_GE(entered_at, 40);
  EXPECT_LE(entered_at, 130);

  // A minute alone: it keeps driving between places all over the level
  // and is seldom held up by a wall.
  float travelled = 0, far_x = 0, far_z = 0, near_x = 0, near_z = 0;
  int still = 0, blocked = 0;
  constexpr int kFrames = 85 * 60;
  for (int frame = 0; frame < kFrames; ++frame) {
    const LocalTank before = offline->tank();
    run_bot_frame(offline->bot, 0);
    const LocalTank& tank = offline->tank();
    const float moved = std::hypot(tank.x - before.x, tank.z - before.z);
    travelled += moved;
    still += moved < 0.01f;
    blocked += std::fabs(before.speed) > 0.05f && moved < 0.3f * std::fabs(before.speed);
    far_x = std::max(far_x, tank.x), near_x = std::min(near_x, tank.x);
    far_z = std::max(far_z, tank.z), near_z = std::min(near_z, tank.z);
    ASSERT_GT(tank.y, -0.5f) << "it fell off the floor";
  }
  std::printf("travelled %.0f, still %d, blocked %d of %d frames, x %.0f..%.0f, z %.0f..%.0f\n",
              static_cast<double>(travelled), still, blocked, kFrames, static_cast<double>(near_x),
              static_cast<double>(far_x), static_cast<double>(near_z), static_cast<double>(far_z));
  EXPECT_GT(travelled, 0.5f * 0.2f * kFrames);  // at least half the time at full speed
  EXPECT_LT(still, kFrames / 10);
  EXPECT_LT(blocked, kFrames / 20);
  EXPECT_GT(far_x - near_x, 60.0f);
  EXPECT_GT(far_z - near_z, 60.0f);

  // The host's set-health of a kill: the entry prompt, then a new entry.
  game.world.tank.health = 0;
  run_bot_frame(offline->bot, 0);
  ASSERT_EQ(game.world.awaiting_entry, 1);
  int again_at = -1;
  for (int frame = 0; frame < 300 && again_at < 0; ++frame) {
    run_bot_frame(offline->bot, 0);
    if (offline->tank().in_play) again_at = frame;
  }
  EXPECT_GE(again_at, 40);
  EXPECT_LE(again_at, 130);
  EXPECT_EQ(offline->tank().health, 100);
}

}  // namespace
