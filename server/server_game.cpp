#include "server/server_game.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "bot/bot_player.h"
#include "core/game_core.h"
#include "net/message_log.h"
#include "net/session.h"

bool open_server_game(GameCore& host, const char* name, const platform::SessionPorts& ports,
                      const LevelTable& level) {
  host.settings.is_host = 1;
  host.settings.use_tcpip = 1;
  std::snprintf(host.settings.player_name, sizeof host.settings.player_name, "%s", kServerPlayerName);
  std::snprintf(host.session.hosted_name, sizeof host.session.hosted_name, "%s", name);
  host.session.ports = ports;
  host.world.level = level;
  hide_log_entries(host.log);
  if (create_directplay(host) != 1) return false;
  connect_configured(host);
  enter_game(host);
  // The server's own player only holds the first seat: listings show the
  // people, computer players and places a person can play in.
  platform::list_without_host_seat(host.session.peer);
  return platform::hosted_instance(host.session.peer) != platform::SessionInstance{};
}

void run_server_frame(GameCore& host, ComputerSeats& seats, double frame_start_ms) {
  // The host's player waits at the entry prompt for ever: nothing presses
  // fire for it, so its tank never enters play and is never drawn, chased
  // or hit.
  run_unattended_frame(host, frame_start_ms);
  run_computer_seats(seats, host, frame_start_ms);
}

void close_server_game(GameCore& host, ComputerSeats& seats) {
  finish_computer_joins(seats, host);
  std::atomic<bool> closed{false};
  std::thread closer([&] {
    release_directplay(host);
    closed = true;
  });
  while (!closed) {
    keep_computer_seats_alive(seats);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  closer.join();
  stop_computer_seats(seats);
}
