// A host and seven clients in one process over loopback ENet at 85 frames a
// second: the host's cost of sending its status and handling every message
// per frame, each client's traffic, and how many frames a client's shot
// takes to exist on all eight programs.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "core/game.h"
#include "net/protocol.h"
#include "net/session.h"
#include "world/projectiles.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kClients = 7;
constexpr int kFrames = 85 * 10;
constexpr auto kFrameTime = std::chrono::microseconds(1000000 / 85);

std::unique_ptr<Game> make_game(int index, uint16_t port) {
  auto game = std::make_unique<Game>();
  game->settings.is_host = index == 0;
  game->settings.use_tcpip = 1;
  std::snprintf(game->settings.player_name, sizeof game->settings.player_name, "Player%d", index);
  std::snprintf(game->settings.host_address, sizeof game->settings.host_address, "127.0.0.1");
  game->session.ports = {port, static_cast<uint16_t>(port + 1), 0};
  game->session.enumeration_ms = 300;
  create_directplay(*game);
  connect_tcpip(*game, index == 0 ? "" : game->settings.host_address);
  return game;
}

// The host is served from a second thread while a client blocks in its join.
bool join(Game& host, Game& client) {
  std::atomic<bool> done{false};
  std::thread server([&] {
    while (!done) {
      keep_session_alive(host);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  enumerate_sessions(client);
  client.session.selected_session = 0;
  const bool joined = open_session(client) == 1;
  done = true;
  server.join();
  return joined;
}

bool shot_everywhere(const std::vector<std::unique_ptr<Game>>& games, uint32_t owner) {
  for (const auto& game : games) {
    bool found = false;
    for (const Projectile& shot : game->world.projectile_table) found |= shot.active && shot.owner_id == owner;
    if (!found) return false;
  }
  return true;
}

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

}  // namespace

int main() {
  const uint16_t port = static_cast<uint16_t>(30000 + (getpid() % 5000) * 4);
  std::vector<std::unique_ptr<Game>> games;
  games.push_back(make_game(0, port));
  if (open_session(*games[0]) != 1) return std::fprintf(stderr, "cannot host\n"), 1;
  for (int i = 1; i <= kClients; ++i) {
    games.push_back(make_game(i, port));
    if (!join(*games[0], *games.back())) return std::fprintf(stderr, "client %d cannot join\n", i), 1;
  }
  std::vector<double> host_us;
  std::vector<int> shot_frames;
  int fired_at = -1;
  uint32_t shooter = 0;
  std::vector<platform::SessionTraffic> start;
  auto next = Clock::now();
  for (int frame = 0; frame < kFrames; ++frame) {
    if (frame == 85) for (auto& game : games) start.push_back(platform::session_traffic(game->session.peer));
    for (std::size_t i = 0; i < games.size(); ++i) {
      Game& game = *games[i];
      game.world.tank.x = static_cast<float>(frame % 100) * 0.1f;  // every status differs
      const auto begin = Clock::now();
      send_status(game);
      receive_messages(game);
      if (i == 0 && frame >= 85)
        host_us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - begin).count());
    }
    if (fired_at >= 0 && shot_everywhere(games, shooter)) {
      shot_frames.push_back(frame - fired_at);
      fired_at = -1;
    }
    if (fired_at < 0 && frame % 20 == 0 && frame >= 85) {
      for (auto& game : games) game->world.projectile_table.fill(Projectile{});
      Game& client = *games[1 + (frame / 20) % kClients];
      shooter = client.world.tank.local_player_id;
      fire_shell(client);
      fired_at = frame;
    }
    next += kFrameTime;
    std::this_thread::sleep_until(next);
  }
  const double seconds = (kFrames - 85) / 85.0;
  std::printf("host + %d clients over loopback ENet, 85 frames a second, %.0f s measured\n", kClients, seconds);
  std::printf("host send_status + receive_messages per frame: median %.1f us, 99th %.1f us, worst %.1f us\n",
              percentile(host_us, 0.5), percentile(host_us, 0.99), percentile(host_us, 1.0));
  for (std::size_t i = 0; i < games.size(); ++i) {
    const auto now = platform::session_traffic(games[i]->session.peer);
    std::printf("%s %zu: sends %.1f KB/s, receives %.1f KB/s\n", i == 0 ? "host  " : "client", i,
                static_cast<double>(now.sent_bytes - start[i].sent_bytes) / seconds / 1000.0,
                static_cast<double>(now.received_bytes - start[i].received_bytes) / seconds / 1000.0);
  }
  std::vector<double> frames(shot_frames.begin(), shot_frames.end());
  if (!frames.empty())
    std::printf("a client's shot exists on all 8 programs after: median %.0f frames, worst %.0f (%zu shots)\n",
                percentile(frames, 0.5), percentile(frames, 1.0), frames.size());
  for (auto& game : games) release_directplay(*game);
  return 0;
}
