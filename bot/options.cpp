#include "bot/options.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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
    "  --level FILE     the level the game is played on (default: default.mvl)\n"
    "  --seed N         the seed of their choices, to repeat a game\n"
    "  --help           show this text\n"
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

bool read_number(const char* text, long long low, long long high, long long& value) {
  if (!text || !*text) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(text, &end, 10);
  return errno == 0 && *end == '\0' && value >= low && value <= high;
}

bool printable(const char* text) {
  for (; *text; ++text)
    if (static_cast<unsigned char>(*text) < 32 || *text == 127) return false;
  return true;
}

// The value of an option: after '=' in the same argument, or the next one.
const char* option_value(int argc, const char* const* argv, int& i, const char* equals) {
  if (equals) return equals + 1;
  if (i + 1 >= argc) return nullptr;
  return argv[++i];
}

bool fail(char* error, std::size_t size, const char* text, const char* detail = "") {
  std::snprintf(error, size, "%s%s", text, detail);
  return false;
}

bool copy_value(char* dest, std::size_t size, const char* value) {
  if (!value || !*value || std::strlen(value) >= size) return false;
  std::snprintf(dest, size, "%s", value);
  return true;
}

}  // namespace

bool parse_bot_options(int argc, const char* const* argv, BotOptions& options, char* error,
                       std::size_t error_size) {
  options = BotOptions{};
  bool have_address = false;
  for (int i = 0; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      options.help = true;
      return true;
    }
    if (arg[0] != '-' || arg[1] == '\0') {
      if (have_address) return fail(error, error_size, "only one address may be given: ", arg);
      if (!copy_value(options.address, sizeof options.address, arg))
        return fail(error, error_size, "the address is too long: ", arg);
      have_address = true;
      continue;
    }
    const char* equals = std::strchr(arg, '=');
    const std::size_t key_length = equals ? static_cast<std::size_t>(equals - arg) : std::strlen(arg);
    auto is = [&](const char* key) {
      return std::strlen(key) == key_length && std::strncmp(arg, key, key_length) == 0;
    };
    long long number = 0;
    if (is("--count")) {
      if (!read_number(option_value(argc, argv, i, equals), 1, kMaxComputerPlayers, number))
        return fail(error, error_size,
                    "--count takes a number from 1 to 7 (a game holds 8 players, the host among them)");
      options.count = static_cast<int32_t>(number);
    } else if (is("--skill")) {
      if (!read_number(option_value(argc, argv, i, equals), 1, 3, number))
        return fail(error, error_size, "--skill takes 1, 2 or 3");
      options.skill = static_cast<int32_t>(number);
    } else if (is("--seed")) {
      if (!read_number(option_value(argc, argv, i, equals), 0, UINT32_MAX, number))
        return fail(error, error_size, "--seed takes a number from 0 to 4294967295");
      options.seed = static_cast<uint32_t>(number);
      options.seed_given = true;
    } else if (is("--name")) {
      const char* value = option_value(argc, argv, i, equals);
      if (!value || !printable(value) || !copy_value(options.name, sizeof options.name, value))
        return fail(error, error_size, "--name takes a name of 1 to 39 printable characters");
    } else if (is("--level")) {
      if (!copy_value(options.level_path, sizeof options.level_path, option_value(argc, argv, i, equals)))
        return fail(error, error_size, "--level takes the level file's name");
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
