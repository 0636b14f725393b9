// morvane-list: the public list of Morvane games on the internet, served
// over HTTP from one thread until a signal stops it.

#include <csignal>
#include <cstdio>

#include "list/list_service.h"
#include "list/options.h"

namespace {

volatile std::sig_atomic_t g_stop_asked = 0;  // set by the signal handler only

extern "C" void ask_to_stop(int signal_number) { g_stop_asked = signal_number; }

// SIGINT, SIGTERM and SIGHUP stop the service; a reader that goes away
// mid-answer (SIGPIPE) must not.
void install_stop_handlers() {
  struct sigaction action{};
  action.sa_handler = ask_to_stop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  action.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &action, nullptr);
}

const char* signal_name(int signal_number) {
  switch (signal_number) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
  }
}

}  // namespace

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
  install_stop_handlers();
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
  list::serve_until(*service, &g_stop_asked);
  std::snprintf(line, sizeof line, "stop: %s: %d games were listed", signal_name(g_stop_asked), games.listed_count);
  games.log(games.log_context, line);
  return 0;
}
