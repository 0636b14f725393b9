#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "core/game.h"
#include "world/entry.h"
#include "world/input.h"
#include "world/simulation.h"
#include "world_test_support.h"

namespace {

// Three places besides the origin on a floor wide enough for all of them.
std::unique_ptr<Game> game_with_places() {
  auto game = make_game();
  LevelTable& level = game->world.level;
  add_box(level, -60, -3, -60, 120, 2, 120);  // floor, top at -1
  level.entries[0] = {50, 0, 0};
  level.entries[1] = {-50, 0, 0};
  level.entries[2] = {0, 0, 50};
  level.entry_count = 3;
  game->world.in_session = 1;
  game->world.awaiting_entry = 1;
  game->world.tank.local_player_id = 7;
  PlayerSlot& own = game->world.player_table[0];  // the local player's own slot
  own.active = own.in_play = 1;
  own.player_id = 7;
  own.x = 50;  // where the last status left it: not another tank
  return game;
}

PlayerSlot& other(Game& game, std::size_t slot, float x, float z, int32_t in_play = 1) {
  PlayerSlot& s = game.world.player_table[slot];
  s.active = 1;
  s.in_play = in_play;
  s.player_id = static_cast<uint32_t>(slot + 1);
  s.x = x;
  s.z = z;
  return s;
}

std::pair<float, float> chosen(const Game& game) {
  const EntryPlace place = choose_entry_place(game.world);
  return {place.x, place.z};
}

using Spot = std::pair<float, float>;

TEST(Entry, ChoosesThePlaceFarthestFromTheTanksInPlay) {
  // Alone in the game: the origin, whatever the level lists.
  auto game = game_with_places();
  EXPECT_EQ(chosen(*game), Spot(0, 0));

  // One other tank in play: the place farthest from it.
  other(*game, 1, 40, 0);
  EXPECT_EQ(chosen(*game), Spot(-50, 0));
  // Two: the place whose nearest tank is farthest.
  other(*game, 2, -40, 0);
  EXPECT_EQ(chosen(*game), Spot(0, 50));
  other(*game, 3, 0, 40);
  EXPECT_EQ(chosen(*game), Spot(0, 0));  // the origin is one of the places

  // Players out of play may be entering at the same moment, seeing the same
  // table: each takes those with higher ids to enter first. With a tank in
  // play at (40, 0) and players 3, 6 and 8 out of play:
  const std::pair<uint32_t, Spot> together[] = {{8u, {-50, 0}}, {6u, {0, 50}}, {3u, {0, 0}}};
  for (const auto& [entrant, place] : together) {
    auto three = game_with_places();
    three->world.player_table[0] = PlayerSlot{};
    other(*three, 1, 40, 0);
    for (uint32_t id : {3u, 6u, 8u}) other(*three, id - 1, 0, 0, 0);
    three->world.tank.local_player_id = entrant;
    EXPECT_EQ(chosen(*three), place) << entrant;
  }
  // Nobody in play: the highest takes the origin, the others spread out;
  // the lowest, the game's creator, may never enter.
  std::set<Spot> picked;
  for (uint32_t entrant = 2; entrant <= 5; ++entrant) {
    auto first = game_with_places();
    first->world.player_table[0] = PlayerSlot{};
    for (uint32_t id = 2; id <= 5; ++id) other(*first, id - 1, 0, 0, 0);
    first->world.tank.local_player_id = entrant;
    picked.insert(chosen(*first));
    if (entrant == 5) {
      EXPECT_EQ(chosen(*first), Spot(0, 0));
    }
  }
  EXPECT_EQ(picked.size(), 4u);

  // A level without places: the origin, as ever.
  auto plain = game_with_places();
  plain->world.level.entry_count = 0;
  other(*plain, 1, 0, 0);
  EXPECT_EQ(chosen(*plain), Spot(0, 0));

  // Entering: there, standing still, facing the middle with the gun level,
  // one more life.
  game->world.player_table[3] = PlayerSlot{};  // left the game
  LocalTank& tank = game->world.tank;
  tank.speed = 0.1f;
  tank.hull_heading = tank.turret_heading = 90;
  tank.gun_pitch = -20;
  tank.life = 2;
  game->input.mouse_button = 1;
  ASSERT_TRUE(enter_play_on_fire(*game));
  EXPECT_EQ(Spot(tank.x, tank.z), Spot(0, 50));
  EXPECT_FLOAT_EQ(tank.y, 0.0f);
  EXPECT_FLOAT_EQ(tank.speed, 0.0f);
  EXPECT_FLOAT_EQ(tank.hull_heading, 180.0f);  // from (0, 50) toward the origin, along -z
  EXPECT_FLOAT_EQ(tank.turret_heading, 180.0f);
  EXPECT_FLOAT_EQ(tank.gun_pitch, 0.0f);
  // At the origin, heading 0 as ever; at (50, 0), facing -x.
  game->world.player_table[1] = game->world.player_table[2] = PlayerSlot{};
  ASSERT_TRUE(enter_play_on_fire(*game));
  EXPECT_EQ(Spot(tank.x, tank.z), Spot(0, 0));
  EXPECT_FLOAT_EQ(tank.hull_heading, 0.0f);
  other(*game, 1, -50, 0);
  ASSERT_TRUE(enter_play_on_fire(*game));
  EXPECT_EQ(Spot(tank.x, tank.z), Spot(50, 0));
  EXPECT_FLOAT_EQ(tank.turret_heading, 270.0f);
  EXPECT_EQ(tank.life, 5u);
  EXPECT_EQ(tank.health, 100);
}

// A tank that is below the level, however it got there, is put back at an
// entry place away from the others; it keeps its health, and it is the same
// life.
TEST(Entry, TankBelowTheLevelIsPutBackWithoutANewLife) {
  for (float step : {1.0f, 8.5f}) {
    auto game = game_with_places();
    other(*game, 1, 45, 0);
    game->world.awaiting_entry = 0;
    LocalTank& tank = game->world.tank;
    tank.in_play = 1;
    tank.health = 50;
    tank.life = 4;
    tank.x = 70;  // off the floor
    tank.y = -99.9f;
    tank.vertical_speed = -0.3f;
    simulation_step(*game, step);
    EXPECT_EQ(Spot(tank.x, tank.z), Spot(-50, 0)) << step;
    for (int i = 0; i < 20; ++i) simulation_step(*game, step);
    EXPECT_FLOAT_EQ(tank.y, 0.0f) << step;  // standing on the floor
    EXPECT_EQ(tank.health, 50);
    EXPECT_EQ(tank.life, 4u);
    EXPECT_EQ(tank.in_play, 1);
    EXPECT_EQ(game->world.awaiting_entry, 0);
  }
}

}  // namespace
