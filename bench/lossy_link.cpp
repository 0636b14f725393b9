// One player of a three-program game for the lossy-link benchmark
// (lossy_link.sh): the host, a mover whose tank moves every frame, or a
// watcher that notes when the mover's tank changes on its screen. Each runs
// in a network namespace of its own at 85 frames a second, the two clients
// behind a relay that loses and delays datagrams. The watcher prints the
// gaps between the mover's updates as it saw them.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "core/game.h"
#include "net/protocol.h"
#include "net/session.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kFrameTime = std::chrono::microseconds(1000000 / 85);
constexpr uint32_t kMoverId = 2;  // the first client to join
constexpr double kLongGapMs = 50.0;

std::atomic<bool> g_stop{false};

struct Player {
  std::unique_ptr<Game> game = std::make_unique<Game>();
  ~Player() { release_directplay(*game); }
};

bool start(Player& player, bool host, const char* name) {
  Game& game = *player.game;
  game.settings.is_host = host ? 1 : 0;
  game.settings.use_tcpip = 1;
  std::snprintf(game.settings.player_name, sizeof game.settings.player_name, "%s", name);
  if (create_directplay(game) != 1) return false;
  connect_tcpip(game, host ? "" : "127.0.0.1");  // a client's relay is on its own loopback
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (!host) {
      enumerate_sessions(game);
      game.session.selected_session = 0;
    }
    if ((host || game.session.session_count > 0) && open_session(game) == 1) return true;
  }
  return false;
}

const PlayerSlot* mover_slot(const Game& game) {
  for (const PlayerSlot& slot : game.world.player_table)
    if (slot.active && slot.player_id == kMoverId) return &slot;
  return nullptr;
}

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s host|mover|watcher SECONDS\n", argv[0]);
    return 2;
  }
  const std::string role = argv[1];
  const double seconds = std::atof(argv[2]);
  Player player;
  if (!start(player, role == "host", role.c_str())) {
    std::fprintf(stderr, "%s: cannot %s the game\n", role.c_str(), role == "host" ? "host" : "join");
    return 1;
  }
  std::printf("%s joined\n", role.c_str());
  std::fflush(stdout);
  std::signal(SIGTERM, [](int) { g_stop = true; });
  Game& game = *player.game;
  game.world.tank.in_play = 1;
  game.world.tank.health = 100;
  game.world.tank.life = 1;  // in play: its first life
  // The watcher measures for `seconds` from the mover's first update; the
  // others play until they are told to stop.
  const auto began = Clock::now();
  const auto give_up = began + std::chrono::duration<double>(seconds + 60.0);
  Clock::time_point measuring{}, last_update{};
  float last_x = 0.0f;
  std::vector<double> gaps;
  auto next = Clock::now();
  for (uint32_t frame = 0; !g_stop && Clock::now() < give_up; ++frame) {
    if (role == "mover") game.world.tank.x = static_cast<float>(frame % 1000) * 0.01f + 1.0f;
    send_status(game);
    receive_messages(game);
    flush_session(game);
    if (!networking_on(game.settings)) {
      std::fprintf(stderr, "%s: the game ended\n", role.c_str());
      break;
    }
    const auto now = Clock::now();
    if (role == "watcher") {
      const PlayerSlot* mover = mover_slot(game);
      if (mover && mover->x != last_x) {
        last_x = mover->x;
        if (measuring == Clock::time_point{}) measuring = now;
        else gaps.push_back(std::chrono::duration<double, std::milli>(now - last_update).count());
        last_update = now;
      }
      if (measuring != Clock::time_point{} && now - measuring > std::chrono::duration<double>(seconds)) break;
    }
    next += kFrameTime;
    std::this_thread::sleep_until(next);
  }
  if (role != "watcher") return 0;
  if (gaps.empty()) {
    std::printf("no updates seen\n");
    return 1;
  }
  double total = 0.0, in_long = 0.0;
  for (double gap : gaps) {
    total += gap;
    if (gap > kLongGapMs) in_long += gap;
  }
  std::printf("updates %zu over %.1f s: %.1f%% of the time in gaps over %.0f ms, gap 99th %.0f ms, longest %.0f ms\n",
              gaps.size() + 1, total / 1000.0, 100.0 * in_long / total, kLongGapMs, percentile(gaps, 0.99),
              percentile(gaps, 1.0));
  return 0;
}
