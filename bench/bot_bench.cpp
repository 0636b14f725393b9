// What computer players cost: one, then seven, in this process as
// morvane-bot runs them (every player's frame, then one hold to 1/85 s),
// against a host game object served in the same loop, over loopback ENet on
// the shipped level, for about ten seconds each. CPU time is this thread's,
// split into the players' frames, the hold that paces them, and the host.
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "bot/bot_player.h"
#include "core/frame_timer.h"
#include "net/session.h"
#include "shell/main_loop.h"

namespace {

constexpr int kSeconds = 10;
constexpr int kWarmUpFrames = 85;

double thread_cpu_ms() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

platform::SessionPorts bench_ports() {
  const auto game = static_cast<uint16_t>(44000 + (getpid() % 4000) * 4);
  return {game, static_cast<uint16_t>(game + 1), 0};
}

struct Arena {
  std::unique_ptr<LevelTable> level = std::make_unique<LevelTable>();
  std::unique_ptr<GameCore> host = std::make_unique<GameCore>();
  std::vector<std::unique_ptr<BotPlayer>> bots;
};

bool open_host(Arena& arena) {
  GameCore& host = *arena.host;
  host.settings.is_host = 1;
  host.settings.use_tcpip = 1;
  std::snprintf(host.settings.player_name, sizeof host.settings.player_name, "Bench");
  host.world.level = *arena.level;
  host.session.ports = bench_ports();
  return create_directplay(host) == 1 && (connect_configured(host), enter_game(host) == 1);
}

// The join blocks until the host answers; everyone already in the game is
// served from a second thread meanwhile.
bool add_bot(Arena& arena, int index) {
  auto bot = std::make_unique<BotPlayer>();
  char name[kPlayerNameSize];
  std::snprintf(name, sizeof name, "Bench Bot %d", index + 1);
  BotSetup setup;
  setup.name = name;
  setup.skill = 1 + index % 3;
  setup.seed = 100u + static_cast<uint32_t>(index);
  setup.address = "127.0.0.1";
  setup.level = arena.level.get();
  setup.ports = bench_ports();
  setup.enumeration_ms = 300;
  if (!prepare_bot(*bot, setup)) return false;
  std::atomic<bool> done{false};
  std::thread server([&] {
    while (!done) {
      keep_session_alive(*arena.host);
      for (auto& other : arena.bots) keep_session_alive(other->game);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  const char* why = join_game(*bot);
  done = true;
  server.join();
  if (why) {
    std::fprintf(stderr, "%s could not join: %s\n", name, why);
    return false;
  }
  arena.bots.push_back(std::move(bot));
  return true;
}

// About ten seconds of paced frames; prints the shares of a core.
void measure(Arena& arena, FrameTimer& timer) {
  double bots_ms = 0, hold_ms = 0, host_ms = 0;
  int32_t fps = 85;
  int slow_frames = 0;
  const int frames = kWarmUpFrames + 85 * kSeconds;
  double measured_from = 0;
  for (int frame = 0; frame < frames; ++frame) {
    if (frame == kWarmUpFrames) {
      bots_ms = hold_ms = host_ms = 0;
      slow_frames = 0;
      measured_from = now_ms(timer);
    }
    const double start = now_ms(timer);
    double cpu = thread_cpu_ms();
    arena.host->world.frames_per_second = fps;
    run_unattended_frame(*arena.host, start);
    double after = thread_cpu_ms();
    host_ms += after - cpu;
    cpu = after;
    for (auto& bot : arena.bots) {
      bot->game.world.frames_per_second = fps;
      run_bot_frame(*bot, start);
    }
    after = thread_cpu_ms();
    bots_ms += after - cpu;
    cpu = after;
    hold_frame(timer, start);
    hold_ms += thread_cpu_ms() - cpu;
    fps = measure_frames_per_second(now_ms(timer) - start);
    slow_frames += fps < 85;
  }
  const double wall_ms = now_ms(timer) - measured_from;
  const auto share = [&](double ms) { return 100.0 * ms / wall_ms; };
  const double n = static_cast<double>(arena.bots.size());
  std::printf("%zu computer player%s at 85 frames a second, %.1f s: their frames %.2f%% of a core "
              "(%.2f%% each), the hold %.2f%%, so the program %.2f%%; the host %.2f%%; "
              "%d frames slower than 85 a second\n",
              arena.bots.size(), arena.bots.size() == 1 ? "" : "s", wall_ms / 1000.0, share(bots_ms),
              share(bots_ms) / n, share(hold_ms), share(bots_ms + hold_ms), share(host_ms), slow_frames);
}

}  // namespace

int main() {
  Arena arena;
  if (load_level(*arena.level, "default.mvl") != 1) {
    std::fprintf(stderr, "run in the game directory: default.mvl cannot be loaded\n");
    return 1;
  }
  if (!open_host(arena)) return std::fprintf(stderr, "cannot host\n"), 1;
  FrameTimer timer{};
  timer_start(timer);
  if (!add_bot(arena, 0)) return 1;
  measure(arena, timer);
  for (int i = 1; i < 7; ++i)
    if (!add_bot(arena, i)) return 1;
  measure(arena, timer);
  for (auto& bot : arena.bots) leave_game(*bot);
  release_directplay(*arena.host);
  return 0;
}
