// The command lines of morvane-bot and morvane-server, and the names the
// computer players join under.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "bot/options.h"
#include "server/options.h"

namespace {

bool parse(std::vector<const char*> args, BotOptions& options, std::string& error) {
  char text[256] = {};
  const bool ok = parse_bot_options(static_cast<int>(args.size()), args.data(), options, text, sizeof text);
  error = text;
  return ok;
}

TEST(BotOptions, ReadsEveryOptionInBothSpellings) {
  BotOptions options;
  std::string error;
  ASSERT_TRUE(parse({"--count", "3", "--skill=1", "--name", "Tin Can", "--level=arena.mvl", "--seed", "42",
                     "game.example.org"},
                    options, error))
      << error;
  EXPECT_EQ(options.count, 3);
  EXPECT_EQ(options.skill, 1);
  EXPECT_STREQ(options.name, "Tin Can");
  EXPECT_STREQ(options.level_path, "arena.mvl");
  EXPECT_TRUE(options.seed_given);
  EXPECT_EQ(options.seed, 42u);
  EXPECT_STREQ(options.address, "game.example.org");

  ASSERT_TRUE(parse({}, options, error));
  EXPECT_EQ(options.count, 1);
  EXPECT_EQ(options.skill, 2);
  EXPECT_STREQ(options.address, "");  // the local network
  EXPECT_STREQ(options.level_path, "default.mvl");
  EXPECT_FALSE(options.seed_given);

  // Help is shown whatever follows it.
  ASSERT_TRUE(parse({"--help", "--skill", "9"}, options, error));
  EXPECT_TRUE(options.help);
}

TEST(BotOptions, RefusesWhatItCannotUseWithAReason) {
  const std::string long_name(40, 'n');
  const std::string long_address(300, 'a');
  struct Case {
    std::vector<const char*> args;
    const char* error;
  } cases[] = {
      {{"--count", "0"}, "--count takes a number from 1 to 7"},
      // Eight can never all join: the host holds one of a game's 8 places.
      {{"--count", "8"}, "--count takes a number from 1 to 7 (a game holds 8 players, the host among them)"},
      {{"--count=9"}, "--count takes a number from 1 to 7"},
      {{"--count", "2x"}, "--count takes a number from 1 to 7"},
      {{"--count"}, "--count takes a number from 1 to 7"},
      {{"--skill", "4"}, "--skill takes 1, 2 or 3"},
      {{"--skill="}, "--skill takes 1, 2 or 3"},
      {{"--seed", "-1"}, "--seed takes a number from 0 to 4294967295"},
      {{"--name", long_name.c_str()}, "--name takes a name of 1 to 39 printable characters"},
      {{"--name", ""}, "--name takes a name of 1 to 39 printable characters"},
      {{"--name", "bell\a"}, "--name takes a name of 1 to 39 printable characters"},
      {{"--level"}, "--level takes the level file's name"},
      {{"--colour", "red"}, "unknown option: --colour"},
      {{"--counting=2"}, "unknown option: --counting=2"},
      {{"host.one", "host.two"}, "only one address may be given: host.two"},
      {{long_address.c_str()}, "the address is too long: "},
  };
  for (const Case& c : cases) {
    BotOptions options;
    std::string error;
    SCOPED_TRACE(c.error);
    EXPECT_FALSE(parse(c.args, options, error));
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
  }
}

TEST(BotOptions, EveryPlayerOfAProgramHasItsOwnNameOfAtMost39Characters) {
  BotOptions options;
  std::string error;
  for (const uint32_t seed : {0u, 25u, 1234567u}) {
    std::set<std::string> names;
    for (int32_t i = 0; i < kMaxComputerPlayers; ++i) {
      char name[kPlayerNameSize];
      computer_player_name(options, seed, i, name);
      EXPECT_EQ(std::strncmp(name, "Bot ", 4), 0) << name;
      names.insert(name);
    }
    EXPECT_EQ(names.size(), static_cast<std::size_t>(kMaxComputerPlayers));
  }
  char name[kPlayerNameSize];
  computer_player_name(options, 0, 0, name);
  EXPECT_STREQ(name, "Bot Alfa");
  computer_player_name(options, 1, 0, name);
  EXPECT_STREQ(name, "Bot Bravo");

  const std::string longest(39, 'x');
  ASSERT_TRUE(parse({"--name", longest.c_str(), "--count", "7"}, options, error));
  computer_player_name(options, 0, 0, name);
  EXPECT_EQ(std::string(name), longest);
  computer_player_name(options, 0, 6, name);
  EXPECT_EQ(std::string(name), std::string(37, 'x') + " 7");
  ASSERT_TRUE(parse({"--name", "Tin Can"}, options, error));
  computer_player_name(options, 0, 1, name);
  EXPECT_STREQ(name, "Tin Can 2");
}

// morvane-server reads its options as morvane-bot does; it takes no
// address, and what it cannot use is refused with the reason.
TEST(ServerOptions, ReadsEveryOptionAndRefusesWhatItCannotUse) {
  auto parse_server = [](std::vector<const char*> args, ServerOptions& options, std::string& error) {
    char text[256] = {};
    const bool ok =
        parse_server_options(static_cast<int>(args.size()), args.data(), options, text, sizeof text);
    error = text;
    return ok;
  };
  ServerOptions options;
  std::string error;
  ASSERT_TRUE(parse_server({"--name", "Friday night", "--bots=3", "--skill", "1", "--level", "arena.mvl",
                            "--port=25000", "--report-every", "0", "--seed", "7"},
                           options, error))
      << error;
  EXPECT_STREQ(options.name, "Friday night");
  EXPECT_EQ(options.bots, 3);
  EXPECT_EQ(options.skill, 1);
  EXPECT_STREQ(options.level_path, "arena.mvl");
  EXPECT_EQ(options.port, 25000);
  EXPECT_EQ(options.report_seconds, 0);
  EXPECT_TRUE(options.seed_given);
  EXPECT_EQ(options.seed, 7u);
  ASSERT_TRUE(parse_server({}, options, error));
  EXPECT_STREQ(options.name, "Morvane server");
  EXPECT_EQ(options.bots, 0);
  EXPECT_EQ(options.port, 24640);
  EXPECT_EQ(options.report_seconds, 60);

  const std::string long_name(79, 'n');
  struct Case {
    std::vector<const char*> args;
    const char* error;
  } cases[] = {
      // The server holds one of the 8 seats itself.
      {{"--bots", "8"}, "--bots takes a number from 0 to 7 (a game holds 8 players, the server among them)"},
      {{"--bots", "-1"}, "--bots takes a number from 0 to 7"},
      {{"--skill", "0"}, "--skill takes 1, 2 or 3"},
      {{"--port", "80"}, "--port takes a UDP port from 1024 to 65535 other than 24641"},
      {{"--port", "24641"}, "--port takes a UDP port from 1024 to 65535 other than 24641"},
      {{"--port=65536"}, "--port takes a UDP port"},
      {{"--report-every", "soon"}, "--report-every takes a number of seconds"},
      {{"--name", long_name.c_str()}, "--name takes a name of 1 to 78 printable characters"},
      {{"--name", "tab\there"}, "--name takes a name of 1 to 78 printable characters"},
      {{"--level"}, "--level takes the level file's name"},
      {{"127.0.0.1"}, "unknown option or argument: 127.0.0.1"},
      {{"--count", "3"}, "unknown option or argument: --count"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    EXPECT_FALSE(parse_server(c.args, options, error));
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
  }
}

}  // namespace
