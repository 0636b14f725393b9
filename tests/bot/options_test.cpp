// The command lines of morvane-bot and morvane-server, and the names the
// computer players join under.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "bot/command_line.h"
#include "bot/options.h"
#include "server/options.h"
#include "world/level.h"

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

  // Help is shown whatever follows it; so is the version.
  ASSERT_TRUE(parse({"--help", "--skill", "9"}, options, error));
  EXPECT_TRUE(options.help);
  ASSERT_TRUE(parse({"--version", "--count", "99"}, options, error));
  EXPECT_TRUE(options.version);
  EXPECT_FALSE(options.level_given);
  ASSERT_TRUE(parse({"--level", "default.mvl"}, options, error));
  EXPECT_TRUE(options.level_given);  // named, so looked for nowhere else
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
                            "--port=25000", "--report-every", "0", "--quiet-kills", "--seed", "7",
                            "--lists", "/etc/morvane/lists.txt", "--open-port"},
                           options, error))
      << error;
  EXPECT_TRUE(options.quiet_kills);
  EXPECT_TRUE(options.lists_given);
  EXPECT_STREQ(options.lists_path, "/etc/morvane/lists.txt");
  EXPECT_FALSE(options.private_game);
  EXPECT_TRUE(options.open_port);
  EXPECT_TRUE(options.level_given);
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
  EXPECT_FALSE(options.quiet_kills);
  EXPECT_FALSE(options.open_port);  // the router is asked only when the operator says so
  EXPECT_FALSE(options.level_given);
  EXPECT_FALSE(options.private_game);  // announced by default
  EXPECT_FALSE(options.lists_given);
  ASSERT_TRUE(parse_server({"--private"}, options, error));
  EXPECT_TRUE(options.private_game);
  ASSERT_TRUE(parse_server({"--version", "--bots", "99"}, options, error));
  EXPECT_TRUE(options.version);

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
      {{"--quiet-kills=no"}, "--quiet-kills takes no value"},
      {{"--private=yes"}, "--private takes no value"},
      {{"--lists"}, "--lists takes the path of a file"},
      {{"--lists="}, "--lists takes the path of a file"},
      {{"--private", "--lists", "lists.txt"}, "--private announces to no list"},
      {{"--open-port=yes"}, "--open-port takes no value"},
      {{"-V"}, "unknown option or argument: -V"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    EXPECT_FALSE(parse_server(c.args, options, error));
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
  }
}

// The level at a program's start: the reason in the system's words and
// every place looked in, so that an operator can put it right; the default
// level is found beside the program and in the installed data directory
// when the current directory has none.
class LevelAtStart : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getcwd(previous_, sizeof previous_), nullptr);
    char pattern[] = "/tmp/morvane-level-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
    ASSERT_EQ(chdir(directory_.c_str()), 0);
  }
  void TearDown() override {
    ASSERT_EQ(chdir(previous_), 0);
    std::filesystem::remove_all(directory_);
  }
  // start_program's status, with what it wrote to standard error.
  int start(const char* path, bool given, std::string& said) {
    std::snprintf(level_path_, sizeof level_path_, "%s", path);
    const ProgramStart start{"morvane-server", true, "", false, false, ""};
    testing::internal::CaptureStderr();
    const int status = start_program(start, *level_, level_path_, sizeof level_path_, given);
    said = testing::internal::GetCapturedStderr();
    return status;
  }
  char previous_[4096] = {};
  std::string directory_;
  char level_path_[kLevelPathSize] = {};
  std::unique_ptr<LevelTable> level_ = std::make_unique<LevelTable>();
};

TEST_F(LevelAtStart, SaysWhyAndWhereWhenTheLevelCannotBeLoaded) {
  std::string said;
  EXPECT_EQ(start("default.mvl", false, said), 1);
  EXPECT_NE(said.find("the level default.mvl cannot be loaded: No such file or directory (looked in " +
                      directory_ + ", "),
            std::string::npos)
      << said;
  EXPECT_NE(said.find("--level FILE"), std::string::npos) << said;

  EXPECT_EQ(start("elsewhere.mvl", true, said), 1);
  EXPECT_EQ(said, "morvane-server: the level elsewhere.mvl cannot be loaded: No such file or directory.\n");
  EXPECT_EQ(start("/", true, said), 1);
  EXPECT_NE(said.find("cannot be loaded: Is a directory."), std::string::npos) << said;
  // One in the current directory that is no level is reported, not
  // passed over for the installed one.
  std::FILE* file = std::fopen("default.mvl", "w");
  ASSERT_NE(file, nullptr);
  std::fputs("not a level\n", file);
  std::fclose(file);
  EXPECT_EQ(start("default.mvl", false, said), 1);
  EXPECT_NE(said.find("cannot be loaded: it is not a Morvane level file (looked in " + directory_ + ")."),
            std::string::npos)
      << said;

  file = std::fopen("default.mvl", "w");
  std::fputs("MRVN_LEVEL 0.5\nEOF\n", file);
  std::fclose(file);
  EXPECT_EQ(start("default.mvl", false, said), -1) << said;
  EXPECT_STREQ(level_path_, "default.mvl");

  std::string shown;
  const ProgramStart version{"morvane-bot", true, "", false, true, ""};
  testing::internal::CaptureStdout();
  EXPECT_EQ(start_program(version, *level_, level_path_, sizeof level_path_, false), 0);
  shown = testing::internal::GetCapturedStdout();
  EXPECT_EQ(shown.rfind("morvane-bot (Morvane) ", 0), 0u) << shown;
}

TEST_F(LevelAtStart, TheInstalledProgramFindsTheInstalledLevel) {
  // The installed layout: the program in lib/games/morvane, the data in
  // share/games/morvane; the build tree's program lies beside its data.
  std::filesystem::create_directories(directory_ + "/usr/lib/games/morvane");
  std::filesystem::create_directories(directory_ + "/usr/share/games/morvane");
  const LevelDirectories found =
      level_directories((directory_ + "/usr/lib/games/morvane/morvane-server").c_str(), "../../../share/games/morvane");
  EXPECT_EQ(std::string(found.beside_program), directory_ + "/usr/lib/games/morvane");
  EXPECT_EQ(std::string(found.installed_data), directory_ + "/usr/share/games/morvane");
  const LevelDirectories root = level_directories("/morvane-server", ".");
  EXPECT_STREQ(root.beside_program, "/");
  const LevelDirectories nowhere = level_directories("morvane-server", ".");
  EXPECT_STREQ(nowhere.beside_program, "");
  EXPECT_STREQ(nowhere.installed_data, "");
}

}  // namespace
