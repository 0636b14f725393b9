#include "server/options.h"

#include <cstdio>
#include <cstring>

#include "bot/command_line.h"

const char* const kServerUsage =
    "Usage: morvane-server [OPTION]...\n"
    "Hosts a Morvane game without a window, a display or sound: players find it\n"
    "on the local network or join it by this machine's address with the game\n"
    "program or morvane-bot, exactly as they join a game hosted by a player.\n"
    "It announces the game to the public lists of internet games named in\n"
    "lists.txt (host:port a line), unless --private.\n"
    "The server holds the host's seat (seat 0) as the player \"Server\", which\n"
    "never enters play, so seven seats, 1 to 7, remain for players.\n"
    "\n"
    "  --name NAME          the game's name in the listing, at most 78 bytes (UTF-8)\n"
    "                       (default: Morvane server)\n"
    "  --level FILE         the level the game is played on (default: default.mvl\n"
    "                       in the current directory, else the installed one)\n"
    "  --bots N             keep up to N computer players, 0 to 7, in the game\n"
    "                       (default 0); one gives its seat up whenever a person\n"
    "                       joins a full game, and they come back as people leave\n"
    "  --skill 1|2|3        the computer players' skill: 1 misses a lot, 3 is quick\n"
    "                       and accurate (default 2)\n"
    "  --port PORT          the UDP game port, 1024 to 65535 (default 24640); the\n"
    "                       listing still finds the game: it answers on the\n"
    "                       discovery port 24641, which servers on one machine\n"
    "                       share, and names its game port in the answer\n"
    "  --report-every S     a status line every S seconds, 0 for none (default 60)\n"
    "  --quiet-kills        no log line for each kill (the scores are still logged\n"
    "                       when the server stops)\n"
    "  --private            announce the game to no public list of internet games\n"
    "  --lists FILE         announce it to the lists named in FILE, one host:port a\n"
    "                       line (default: lists.txt in the current directory, else\n"
    "                       the installed one)\n"
    "  --open-port          ask the home router (NAT-PMP, else UPnP) to open the\n"
    "                       game port to the internet while the game runs; the\n"
    "                       log says whether it did\n"
    "  --seed N             the seed of the computer players' names and choices\n"
    "  --help               show this text\n"
    "  --version            show the program's version\n"
    "\n"
    "Standard output is the server's log, one line an event, each beginning with\n"
    "the local date and time: the start, every join and departure (with the\n"
    "seat), what the public lists say of the game, every kill and chat line, the\n"
    "messages refused with their sender (at most a line a second for each), the\n"
    "status line (players, frames a second, traffic) and at the end every\n"
    "player's score; errors go to standard error.\n"
    "SIGTERM, SIGINT or SIGHUP ends the game (every player learns at once that\n"
    "the host has gone) and the program with status 0; SIGUSR1 prints the game\n"
    "as the server sees it as a STATE line; SIGUSR2 and SIGPIPE are ignored.\n"
    "Exits 1 when the level cannot be loaded or the game port cannot be opened,\n"
    "2 for bad arguments.\n";

bool parse_server_options(int argc, const char* const* argv, ServerOptions& options, char* error,
                          std::size_t error_size) {
  options = ServerOptions{};
  std::snprintf(options.name, sizeof options.name, "%s", kDefaultGameName);
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
    auto is = [&](const char* key) { return option_is(reader, key); };
    const SharedOption shared = read_shared_option(reader, shared_fields, error, error_size);
    if (shared == SharedOption::Wrong) return false;
    long long number = 0;
    if (shared == SharedOption::Read) {
      continue;
    } else if (is("--name")) {
      const char* value = option_value(reader);
      if (!value || !printable(value) || !copy_value(options.name, sizeof options.name, value))
        return fail(error, error_size, "--name takes a name of 1 to 78 printable characters");
    } else if (is("--bots")) {
      if (!read_number(option_value(reader), 0, kMaxServerBots, number))
        return fail(error, error_size,
                    "--bots takes a number from 0 to 7 (a game holds 8 "
                    "players, the server among them)");
      options.bots = static_cast<int32_t>(number);
    } else if (is("--port")) {
      // Not the discovery port itself, which the server answers listings on.
      if (!read_number(option_value(reader), 1024, 65535, number) || number == platform::kDiscoveryPort)
        return fail(error, error_size, "--port takes a UDP port from 1024 to 65535 other than 24641");
      options.port = static_cast<uint16_t>(number);
    } else if (is("--quiet-kills")) {
      if (reader.equals) return fail(error, error_size, "--quiet-kills takes no value");
      options.quiet_kills = true;
    } else if (is("--private")) {
      if (reader.equals) return fail(error, error_size, "--private takes no value");
      options.private_game = true;
    } else if (is("--lists")) {
      const char* value = option_value(reader);
      if (!value || !copy_value(options.lists_path, sizeof options.lists_path, value))
        return fail(error, error_size, "--lists takes the path of a file");
      options.lists_given = true;
    } else if (is("--open-port")) {
      if (reader.equals) return fail(error, error_size, "--open-port takes no value");
      options.open_port = true;
    } else if (is("--report-every")) {
      if (!read_number(option_value(reader), 0, 86400, number))
        return fail(error, error_size, "--report-every takes a number of seconds from 0 to 86400");
      options.report_seconds = static_cast<int32_t>(number);
    } else {
      return fail(error, error_size, "unknown option or argument: ", arg);
    }
  }
  if (options.private_game && options.lists_given)
    return fail(error, error_size, "--private announces to no list: it takes no --lists");
  return true;
}
