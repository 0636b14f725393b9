// The chat line editor: held keys repeat every 20 frames, a released key lets
// the next one through at once, 40 characters at most, Backspace and Enter.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/game.h"
#include "net/protocol.h"
#include "world/simulation.h"

namespace {

constexpr uint8_t kScanA = 30;
constexpr uint8_t kScanB = 48;

struct ChatFixture : ::testing::Test {
  Game game;
  void SetUp() override {
    game.world.in_session = 1;
    game.world.chat_entry_open = 1;
  }
  // One frame as the driver runs it: key_delay falls, then the editor runs.
  void frame() {
    if (game.world.key_delay > 0) --game.world.key_delay;
    chat_entry_frame(game);
  }
  void hold(uint8_t code) { game.input.key_state[code] = kKeyDownBit; }
  void release(uint8_t code) { game.input.key_state[code] = 0; }
  std::string line() const { return game.world.chat_line; }
};

}  // namespace

TEST_F(ChatFixture, HeldKeyTypesOnceThenEveryTwentyFrames) {
  hold(kScanA);
  frame();
  EXPECT_EQ(line(), "A");
  for (int i = 0; i < 19; ++i) frame();
  EXPECT_EQ(line(), "A");
  frame();
  EXPECT_EQ(line(), "AA");
  for (int i = 0; i < 20; ++i) frame();
  EXPECT_EQ(line(), "AAA");
}

TEST_F(ChatFixture, ReleasingAKeyLetsTheNextThroughAtOnce) {
  hold(kScanA);
  frame();
  release(kScanA);
  hold(kScanB);
  frame();
  EXPECT_EQ(line(), "AB");

  // Tab held for the score table types nothing and holds back no key.
  release(kScanB);
  hold(kScanTab);
  frame();
  EXPECT_EQ(line(), "AB");
  hold(kScanBackspace);
  frame();
  release(kScanBackspace);
  hold(kScanA);
  frame();
  EXPECT_EQ(line(), "AA");
}

TEST_F(ChatFixture, TheFortyFirstCharacterIsRefused) {
  for (int i = 0; i < 45; ++i) {
    hold(kScanA);
    frame();
    release(kScanA);
    frame();
  }
  EXPECT_EQ(line(), std::string(40, 'A'));
}

TEST_F(ChatFixture, BackspaceRemovesAndRepeatsAndEnterOnlyActsOnANonEmptyLine) {
  hold(kScanEnter);
  frame();
  EXPECT_EQ(game.world.chat_entry_open, 1) << "Enter on an empty line does nothing";
  release(kScanEnter);

  hold(kScanA);
  frame();
  release(kScanA);
  hold(kScanBackspace);
  frame();
  EXPECT_EQ(line(), "");
  release(kScanBackspace);

  // A held Backspace takes one character at once, then one every 20 frames.
  for (int i = 0; i < 4; ++i) {
    hold(kScanA);
    frame();
    release(kScanA);
    frame();
  }
  ASSERT_EQ(line(), "AAAA");
  hold(kScanBackspace);
  frame();
  EXPECT_EQ(line(), "AAA");
  for (int i = 0; i < 19; ++i) frame();
  EXPECT_EQ(line(), "AAA");
  frame();
  EXPECT_EQ(line(), "AA");
  for (int i = 0; i < 20; ++i) frame();
  EXPECT_EQ(line(), "A");
  release(kScanBackspace);
  frame();
  hold(kScanBackspace);
  frame();
  EXPECT_EQ(line(), "") << "a new press does not wait";
  release(kScanBackspace);

  hold(kScanB);
  frame();
  release(kScanB);
  hold(kScanEnter);
  frame();
  EXPECT_EQ(game.world.chat_entry_open, 0);
  EXPECT_EQ(game.world.key_delay, 20u);
  EXPECT_EQ(game.log.entries[0].text[0], '\0') << "without a network the line is dropped, not logged";
}

TEST_F(ChatFixture, AHostsLineReachesItsOwnLogWithItsName) {
  game.settings.is_host = 1;
  game.settings.use_tcpip = 1;
  game.world.tank.local_player_id = 1;
  game.world.player_table[0].active = 1;
  game.world.player_table[0].player_id = 1;
  std::strcpy(game.world.player_table[0].name, "Hosty");
  hold(kScanA);
  frame();
  release(kScanA);
  hold(kScanEnter);
  frame();
  EXPECT_STREQ(game.log.entries[0].text, "A");
  EXPECT_STREQ(game.log.entries[0].source, "Hosty");
  EXPECT_EQ(game.log.entries[0].category, LOG_CHAT);
}

TEST_F(ChatFixture, TheTThatOpensTheLineIsNotTyped) {
  game.world.chat_entry_open = 0;
  game.world.tank.in_play = 1;
  game.world.tank.health = 100;
  hold(kScanT);
  simulation_step(game, 1.0f);
  ASSERT_EQ(game.world.chat_entry_open, 1);
  chat_entry_frame(game);  // the editor runs in the frame that opened it
  EXPECT_EQ(line(), "");
  for (int i = 0; i < 19; ++i) frame();
  EXPECT_EQ(line(), "") << "T held on types only when it repeats";
  release(kScanT);
  hold(kScanA);
  frame();
  EXPECT_EQ(line(), "A");
}
