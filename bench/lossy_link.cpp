// One player of a three-program game for the lossy-link benchmark
// (lossy_link.sh): the host, a mover whose tank moves every frame, or a
// watcher that notes when the mover's tank changes on its screen. Each runs
// in a network namespace of its own at 85 frames a second, the two clients
// behind a relay that loses and delays datagrams. The watcher prints the
// gaps between the mover's updates as it saw them.
//
// With "reordering" after the seconds, the three play until SIGTERM and
// print what lossy_link.sh needs to tell what the link cost (one line per
// event, times in microseconds of the system's monotonic clock, which the
// three share): the mover's x is its frame number, so every status it
// sends is told apart; it fires every tenth frame, and when the host's hit
// reaches it, it sends one more status and falls quiet for two seconds, as
// a player whose window has lost the focus; the host hits it every four
// seconds.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/game.h"
#include "net/protocol.h"
#include "net/session.h"
#include "world/simulation_sends.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kFrameTime = std::chrono::microseconds(1000000 / 85);
constexpr const char* kMoverName = "mover";  // each program plays under its role's name
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
    if (slot.active && std::strcmp(slot.name, kMoverName) == 0) return &slot;
  return nullptr;
}

// Shots whose projectile slot this program filled: on the host every shot
// it numbered, elsewhere every numbered shot that arrived.
int g_shots_filled = 0;
void count_shot(GameCore&) { ++g_shots_filled; }

long long monotonic_us() {
  return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
}

int mover_slot_index(const Game& game) {
  for (std::size_t i = 0; i < game.world.player_table.size(); ++i) {
    const PlayerSlot& slot = game.world.player_table[i];
    if (slot.active && std::strcmp(slot.name, kMoverName) == 0) return static_cast<int>(i);
  }
  return -1;
}

constexpr auto kPollTime = std::chrono::milliseconds(1);
constexpr auto kInactiveService = std::chrono::milliseconds(50);
constexpr auto kHitEvery = std::chrono::seconds(4);
constexpr auto kQuietFor = std::chrono::seconds(2);
constexpr auto kLinger = std::chrono::seconds(3);  // for shots still on the way
constexpr int32_t kDamage = 5;
constexpr uint32_t kFireEvery = 10;  // frames

// The host: a frame of the game's 85 a second (messages taken, its status
// sent, everything flushed at once, as the game does), hitting the mover
// every four seconds; prints every status of the mover it took ("relay
// X", each relayed to the others) and every hit, and at the end the shots
// it numbered.
void host_reordering(Game& game) {
  auto next = Clock::now();
  auto next_hit = Clock::now() + kHitEvery;
  float last_x = -1.0f;
  while (!g_stop) {
    receive_messages(game);
    const int mover = mover_slot_index(game);
    if (mover >= 0) {
      PlayerSlot& slot = game.world.player_table[static_cast<std::size_t>(mover)];
      if (slot.x != last_x) {
        last_x = slot.x;
        std::printf("relay %.0f\n", static_cast<double>(slot.x));
      }
      if (Clock::now() >= next_hit && slot.in_play && slot.health > kDamage) {
        send_damage(game, mover, kDamage);
        std::printf("hit %lld %d\n", monotonic_us(), slot.health);
        next_hit = Clock::now() + kHitEvery;
      }
    }
    send_status(game);
    flush_session(game);
    next += kFrameTime;
    std::this_thread::sleep_until(next);
  }
  std::printf("numbered %d\n", g_shots_filled);
}

// The watcher: takes messages every millisecond (so that no status of the
// mover is replaced by a newer one while waiting for it), and prints every change of
// the mover's tank on its screen ("seen T X HEALTH"), and at the end the
// mover's shots that reached it.
void watcher_reordering(Game& game) {
  auto next_frame = Clock::now();
  float last_x = -1.0f;
  int32_t last_health = -1;
  while (!g_stop) {
    receive_messages(game);
    if (const PlayerSlot* mover = mover_slot(game); mover && (mover->x != last_x || mover->health != last_health)) {
      last_x = mover->x;
      last_health = mover->health;
      std::printf("seen %lld %.0f %d\n", monotonic_us(), static_cast<double>(last_x), last_health);
    }
    if (Clock::now() >= next_frame) {
      send_status(game);
      next_frame += kFrameTime;
    }
    flush_session(game);
    std::this_thread::sleep_for(kPollTime);
  }
  std::printf("created %d\n", g_shots_filled);
}

// As the game whose window is inactive: no frames, only the session served
// every 50 ms, so that the others keep the player.
void stay_inactive(Game& game, Clock::time_point until) {
  while (Clock::now() < until) {
    keep_session_alive(game);
    std::this_thread::sleep_for(kInactiveService);
  }
}

// The mover: x is its frame number; fires every tenth frame; falls quiet
// for two seconds right after its own last status once a hit has reached
// it ("quiet T X HEALTH"). On SIGTERM it stops firing and sending and
// lingers for shots still on the way, then prints the shots it fired.
void mover_reordering(Game& game) {
  LocalTank& tank = game.world.tank;
  int32_t health = tank.health;
  int fired = 0;
  auto next = Clock::now();
  for (uint32_t frame = 0; !g_stop; ++frame) {
    receive_messages(game);
    tank.x = static_cast<float>(frame);
    send_status(game);
    if (frame % kFireEvery == 0) {
      send_fire(game, tank.x, 1.0f, 0.0f, 0.5f, 0.0f, 0.0f, 0.0f, 0, tank.local_player_id);
      ++fired;
    }
    flush_session(game);
    if (tank.health != health) {
      health = tank.health;
      std::printf("quiet %lld %.0f %d\n", monotonic_us(), static_cast<double>(tank.x), health);
      stay_inactive(game, Clock::now() + kQuietFor);
      next = Clock::now();
    }
    next += kFrameTime;
    std::this_thread::sleep_until(next);
  }
  stay_inactive(game, Clock::now() + kLinger);
  std::printf("fired %d\n", fired);
}

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s host|mover|watcher SECONDS [reordering]\n", argv[0]);
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
  if (argc > 3 && std::string(argv[3]) == "reordering") {
    game.hooks.shot_fired = count_shot;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (role == "host") host_reordering(game);
    else if (role == "mover") mover_reordering(game);
    else watcher_reordering(game);
    return 0;
  }
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
