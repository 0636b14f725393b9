// What reading a full public list costs the game's frame: a list service
// on the loopback holds 20,000 games (as morvane-list --bench-fill does),
// and the game's list reader reads it again and again as the session menu
// does, polled every millisecond. Prints, as medians over the rounds, the
// longest single poll (the time a frame stands still) and the whole round.
//
// usage: morvane_bench_list_reading [GAMES [ROUNDS]]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "list/list_service.h"
#include "platform/list_reader.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int games = argc > 1 ? std::atoi(argv[1]) : 20000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 15;
  list::ServiceConfig config;
  config.listen_address = 0x7F000001;
  config.http_port = 0;
  config.proof_port = 0;
  auto game_list = list::make_game_list();
  game_list->log = [](void*, const char*) {};
  list::fill_for_bench(*game_list, games, list::steady_ms(nullptr));
  char error[128];
  auto service = list::open_service(config, std::move(game_list), error, sizeof error);
  if (!service) {
    std::fprintf(stderr, "the list cannot start: %s\n", error);
    return 1;
  }
  std::atomic<bool> stop{false};
  std::thread server([&] {
    while (!stop) list::serve_once(*service, 10);
  });
  platform::ListAddresses lists;
  lists.count = 1;
  std::snprintf(lists.lists[0].host, sizeof lists.lists[0].host, "127.0.0.1");
  lists.lists[0].port = list::http_port_of(*service);

  std::vector<double> longest_polls, round_times;
  for (int round = 0; round < rounds; ++round) {
    // A reader of its own each round, so that the list answers in full
    // rather than "not modified".
    platform::ListReader* reader = platform::create_list_reader(lists, nullptr);
    if (!reader) return 1;
    platform::start_list_reading(reader);
    const Clock::time_point start = Clock::now();
    double longest = 0;
    bool ended = false;
    while (!ended && ms_since(start) < 10000) {
      const Clock::time_point poll = Clock::now();
      ended = platform::poll_list_reader(reader);
      longest = std::max(longest, ms_since(poll));
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    round_times.push_back(ms_since(start));
    longest_polls.push_back(longest);
    if (!ended || platform::listed_games(reader).count == 0) std::fprintf(stderr, "round %d read nothing\n", round);
    platform::release_list_reader(reader);
  }
  stop = true;
  server.join();
  std::printf("list reading, %d games listed, %d rounds: longest poll %.3f ms (median), round %.1f ms (median)\n",
              games, rounds, median(longest_polls), median(round_times));
  return 0;
}
