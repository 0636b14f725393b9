// morvane-list: the public list of Morvane games on the internet, served
// over HTTP from one thread until a signal stops it.

#include <cstdio>

#include "list/list_service.h"
#include "list/options.h"
#include "platform/stop_signals.h"

int main(int argc, char** argv) {
  ListOptions options;
  char error[256] = {};
  if (!parse_list_options(argc - 1, argv + 1, options, error, sizeof error)) {
    std::fprintf(stderr, "morvane-list: %s\nTry 'morvane-list --help'.\n", error);
    return 2;
  }
  if (options.help) {
    std::fputs(kListUsage, stdout);
    return 0;
  }
  if (options.version) {
    std::printf("morvane-list (Morvane) %s\n", kListVersion);
    return 0;
  }
  // SIGINT, SIGTERM and SIGHUP stop the service; a reader that goes away
  // mid-answer (SIGPIPE) must not.
  platform::install_stop_signals({});
  auto list = list::make_game_list();
  if (!list) {
    std::fprintf(stderr, "morvane-list: the system's random source cannot be used.\n");
    return 1;
  }
  list::fill_for_bench(*list, options.bench_fill, list::steady_ms(nullptr));
  list::ServiceConfig config;
  config.listen_address = options.listen_address;
  config.http_port = options.http_port;
  config.proof_port = options.proof_port;
  auto service = list::open_service(config, std::move(list), error, sizeof error);
  if (!service) {
    std::fprintf(stderr, "morvane-list: cannot start: %s.\n", error);
    return 1;
  }
  char address[16];
  list::format_address(options.listen_address, address, sizeof address);
  char line[160];
  std::snprintf(line, sizeof line, "start: HTTP on %s:%u, proofs on UDP port %u, %d games listed", address,
                list::http_port_of(*service), list::proof_port_of(*service), options.bench_fill);
  list::GameList& games = list::game_list_of(*service);
  games.log(games.log_context, line);
  list::serve_until(*service, &platform::stop_signal);
  std::snprintf(line, sizeof line, "stop: %s: %d games were listed",
                platform::stop_signal_name(platform::stop_signal), games.listed_count);
  games.log(games.log_context, line);
  return 0;
}
