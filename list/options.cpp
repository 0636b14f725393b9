#include "list/options.h"

#include <arpa/inet.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char* const kListVersion = MORVANE_VERSION;

const char* const kListUsage =
    "Usage: morvane-list [OPTION]...\n"
    "Keeps the public list of Morvane games on the internet. Hosts announce their\n"
    "games over HTTP (POST /announce); a game is listed once its host has echoed a\n"
    "token the list sends to its game port, and leaves the list when its host\n"
    "withdraws it (POST /withdraw) or has not announced it for 60 seconds. Players\n"
    "and web pages read the list as JSON (GET /games), gzip-compressed when they\n"
    "accept it, cacheable for 5 seconds.\n"
    "\n"
    "  --listen ADDRESS     the IPv4 address to listen on (default 0.0.0.0: all)\n"
    "  --http-port PORT     the TCP port of the HTTP service, 1 to 65535\n"
    "                       (default 24680)\n"
    "  --proof-port PORT    the UDP port the proofs are sent from and echoed to,\n"
    "                       1 to 65535 (default 24681)\n"
    "  --bench-fill N       list N made-up games at start (for benchmarks only)\n"
    "  --help               show this text\n"
    "  --version            show the program's version\n"
    "\n"
    "Standard output is the service's log, one line an event, each beginning with\n"
    "the local date and time: the start, every game listed, withdrawn or that\n"
    "expires, and every announcement or withdrawal refused with its address and\n"
    "reason (at most a line a second for each address). SIGTERM, SIGINT or SIGHUP\n"
    "stops the service with status 0. Exits 1 when a port cannot be opened, 2 for\n"
    "bad arguments.\n";

namespace {

bool fail(char* error, std::size_t size, const char* text, const char* detail = "") {
  std::snprintf(error, size, "%s%s", text, detail);
  return false;
}

bool read_number(const char* text, long low, long high, long& value) {
  if (!text || !*text || *text == '-' || *text == '+') return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtol(text, &end, 10);
  return errno == 0 && *end == '\0' && value >= low && value <= high;
}

}  // namespace

bool parse_list_options(int argc, const char* const* argv, ListOptions& options, char* error,
                        std::size_t error_size) {
  options = ListOptions{};
  for (int i = 0; i < argc; ++i) {
    const char* arg = argv[i];
    if (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h")) {
      options.help = true;
      return true;
    }
    if (!std::strcmp(arg, "--version")) {
      options.version = true;
      return true;
    }
  }
  for (int i = 0; i < argc; ++i) {
    // "--key value" or "--key=value".
    const char* arg = argv[i];
    const char* equals = std::strchr(arg, '=');
    const std::size_t key_length = equals ? static_cast<std::size_t>(equals - arg) : std::strlen(arg);
    auto is = [&](const char* key) { return std::strlen(key) == key_length && !std::strncmp(arg, key, key_length); };
    const char* value = equals ? equals + 1 : (i + 1 < argc ? argv[i + 1] : nullptr);
    auto used_value = [&] {
      if (!equals) ++i;
    };
    long number = 0;
    if (is("--listen")) {
      in_addr address{};
      if (!value || inet_pton(AF_INET, value, &address) != 1)
        return fail(error, error_size, "--listen takes an IPv4 address such as 0.0.0.0 or 127.0.0.1");
      options.listen_address = ntohl(address.s_addr);
      used_value();
    } else if (is("--http-port") || is("--proof-port")) {
      if (!read_number(value, 1, 65535, number))
        return fail(error, error_size, is("--http-port") ? "--http-port" : "--proof-port",
                    " takes a port from 1 to 65535");
      (is("--http-port") ? options.http_port : options.proof_port) = static_cast<uint16_t>(number);
      used_value();
    } else if (is("--bench-fill")) {
      if (!read_number(value, 0, list::kMaxGames, number))
        return fail(error, error_size, "--bench-fill takes a number of games from 0 to 20000");
      options.bench_fill = static_cast<int32_t>(number);
      used_value();
    } else {
      return fail(error, error_size, "unknown option or argument: ", arg);
    }
  }
  return true;
}
