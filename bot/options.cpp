#include "bot/options.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "bot/command_line.h"

const char* const kBotUsage =
    "Usage: morvane-bot [OPTION]... [ADDRESS]\n"
    "Computer players for a Morvane game: they join it like any player, fight\n"
    "the tanks they see, and play until stopped (Ctrl+C) or until the host goes.\n"
    "\n"
    "ADDRESS is the host of the game (\"TCP/IP Connection over Internet\"); without\n"
    "it they join the first game found on the local network.\n"
    "\n"
    "  --count N        N computer players, 1 to 7, in this one program (default 1);\n"
    "                   a game holds 8 players, the host among them\n"
    "  --skill 1|2|3    1 misses a lot, 3 is quick and accurate (default 2)\n"
    "  --name NAME      their name, at most 39 characters; with --count the others\n"
    "                   are NAME 2, NAME 3... (default: names such as Bot Kilo,\n"
    "                   Bot Lima..., from a place in the alphabet drawn by the seed)\n"
    "  --level FILE     the level the game is played on (default: default.mvl here,\n"
    "                   else the installed one)\n"
    "  --seed N         the seed of their choices, to repeat a game\n"
    "  --help           show this text\n"
    "  --version        show the program's version\n"
    "\n"
    "The first player's messages are printed as the game prints them; SIGUSR1\n"
    "prints its view of the game as a STATE line; SIGUSR2 holds every player\n"
    "still and silent until the next SIGUSR2. On leaving, each player's shots\n"
    "are counted and its score printed as the host kept it. Exits 0 when stopped or when the host has gone, 1 when the\n"
    "game cannot be joined, 2 for bad arguments. When the game fills up before\n"
    "all of them are in, those that did join play on.\n";

namespace {

// Enough names that computer players of two programs in one game seldom
// share one: each program starts at a place drawn from its seed.
constexpr std::array<const char*, 26> kBuiltInNames = {
    "Bot Alfa",  "Bot Bravo",   "Bot Charlie", "Bot Delta",  "Bot Echo",   "Bot Foxtrot", "Bot Golf",
    "Bot Hotel", "Bot India",   "Bot Juliett", "Bot Kilo",   "Bot Lima",   "Bot Mike",    "Bot November",
    "Bot Oscar", "Bot Papa",    "Bot Quebec",  "Bot Romeo",  "Bot Sierra", "Bot Tango",   "Bot Uniform",
    "Bot Victor", "Bot Whiskey", "Bot X-ray",  "Bot Yankee", "Bot Zulu",
};
constexpr std::size_t kLongestName = kPlayerNameSize - 1;

}  // namespace

bool parse_bot_options(int argc, const char* const* argv, BotOptions& options, char* error,
                       std::size_t error_size) {
  options = BotOptions{};
  bool have_address = false;
  OptionReader reader{argc, argv};
  const SharedOptionFields shared_fields = shared_fields_of(options);
  for (int i = 0; i < argc; i = reader.index + 1) {
    const char* arg = argv[i];
    if (asks_for_help(arg)) {
      options.help = true;
      return true;
    }
    if (asks_for_version(arg)) {
      options.version = true;
      return true;
    }
    read_option(reader, i);
    if (arg[0] != '-' || arg[1] == '\0') {
      if (have_address) return fail(error, error_size, "only one address may be given: ", arg);
      if (!copy_value(options.address, sizeof options.address, arg))
        return fail(error, error_size, "the address is too long: ", arg);
      have_address = true;
      continue;
    }
    auto is = [&](const char* key) { return option_is(reader, key); };
    const SharedOption shared = read_shared_option(reader, shared_fields, error, error_size);
    if (shared == SharedOption::Wrong) return false;
    long long number = 0;
    if (shared == SharedOption::Read) {
      continue;
    } else if (is("--count")) {
      if (!read_number(option_value(reader), 1, kMaxComputerPlayers, number))
        return fail(error, error_size,
                    "--count takes a number from 1 to 7 (a game holds 8 players, the host among them)");
      options.count = static_cast<int32_t>(number);
    } else if (is("--name")) {
      const char* value = option_value(reader);
      if (!value || !printable(value) || !copy_value(options.name, sizeof options.name, value))
        return fail(error, error_size, "--name takes a name of 1 to 39 printable characters");
    } else {
      return fail(error, error_size, "unknown option: ", arg);
    }
  }
  return true;
}

void computer_player_name(const BotOptions& options, uint32_t seed, int32_t index,
                          char (&name)[kPlayerNameSize]) {
  if (options.name[0] == '\0') {
    const std::size_t first = seed % kBuiltInNames.size();
    std::snprintf(name, sizeof name, "%s",
                  kBuiltInNames[(first + static_cast<std::size_t>(index)) % kBuiltInNames.size()]);
    return;
  }
  if (index == 0) {
    std::snprintf(name, sizeof name, "%s", options.name);
    return;
  }
  char suffix[16];
  const int suffix_length = std::snprintf(suffix, sizeof suffix, " %d", index + 1);
  const std::size_t room = kLongestName - static_cast<std::size_t>(suffix_length);
  std::snprintf(name, sizeof name, "%.*s%s", static_cast<int>(room), options.name, suffix);
}
