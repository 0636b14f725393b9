#include "shell/main_loop.h"

#include <GL/gl.h>

#include <cstdint>
#include <cstdio>
#include <ctime>

#include "audio/music.h"
#include "core/game.h"
#include "graphics/render.h"
#include "menus/menus.h"
#include "net/protocol.h"
#include "net/session.h"
#include "shell/run_log.h"
#include "shell/startup.h"
#include "shell/state_report.h"
#include "world/input_devices.h"
#include "world/simulation.h"

namespace {

// The windowed game's own stages, given the core of a Game.
template <int (*Stage)(Game&)>
int windowed(GameCore& core) {
  return Stage(static_cast<Game&>(core));
}

void music_stage(GameCore& core) { update_music_rotation(static_cast<Game&>(core)); }

// The editor handles this frame's keys, then the line is drawn as it now is.
int chat_entry_stage(GameCore& core) {
  const int result = chat_entry_frame(core);
  draw_chat_entry(static_cast<Game&>(core));
  return result;
}

}  // namespace

FrameStages default_frame_stages() {
  return FrameStages{windowed<input_poll>,         send_status,
                     receive_messages,             music_stage,
                     simulation_step,              windowed<render_frame>,
                     windowed<session_menu_frame>, windowed<pause_menu_frame>,
                     chat_entry_stage,             windowed<entry_prompt_frame>};
}

int run_frame(Game& game) { return run_frame(game, game.stages); }

namespace {

// Escape walks back one level: chat or pause menu closes, else the pause
// menu opens; outside a game it quits.
void escape_walk(Game& game) {
  WorldState& world = game.world;
  world.key_delay = 40;
  if (world.in_session == 0) {
    world.quit_requested = 1;
  } else if (world.pause_menu_open == 1) {
    world.pause_menu_open = 0;
  } else if (world.chat_entry_open == 1) {
    world.chat_entry_open = 0;
  } else {
    world.pause_menu_open = 1;
    game.menus.session_menu_phase = 0;
    game.menus.menu_cursor = 0;
  }
}

}  // namespace

int window_procedure(Game& game, const platform::WindowEvent& event) {
  using platform::WindowEventType;
  switch (event.type) {
    case WindowEventType::ActivateApp:
      game.world.app_active = (event.wparam == 1 || event.wparam == 2) ? 1 : 0;
      return 0;
    case WindowEventType::Destroy:
      game.world.quit_requested = 1;
      return 0;
    case WindowEventType::SetCursor:
      return 1;  // no pointer over the window
    case WindowEventType::KeyDown:
      if (event.wparam == platform::kVirtualKeyEscape && game.world.key_delay == 0) {
        escape_walk(game);
        return 0;
      }
      return 0;
    default:
      return 0;
  }
}

void run_one_frame(Game& game) {
  WorldState& world = game.world;
  world.frame_start_ms = now_ms(game.shell.timer);
  if (world.key_delay > 0) world.key_delay -= 1;
  if (run_frame(game) != 1) world.quit_requested = 1;
  report_port_mapping(game);
  glFlush();
  platform::swap_buffers(game.shell.main_window);
  if (game.shell.paced) hold_frame(game.shell.timer, world.frame_start_ms);
  world.frames_per_second = measure_frames_per_second(now_ms(game.shell.timer) - world.frame_start_ms);
}

// Frames are paced by the buffer swap where the display waits for its
// refresh, and never run faster than 85 a second: where the swap does not
// wait (no vertical sync, as on a virtual display, or a driver that ignores
// it) or the display refreshes faster than 85 Hz, each frame is held to
// 1/85 s on the clock. The frame rate is measured after the hold, so the
// simulation's step stays 85 / frames_per_second as before.
constexpr int32_t kHighestSyncedRefreshHz = 86;

void choose_frame_pacing(Game& game) {
  game.shell.paced = frames_paced();
  const int32_t refresh = platform::display_refresh_rate(game.shell.main_window);
  const bool sync = game.shell.paced && refresh <= kHighestSyncedRefreshHz;
  platform::set_swap_sync(game.shell.main_window, sync);
}

namespace {

// While the window is inactive the thread sleeps until an event arrives; in
// a network game it wakes every 50 ms to serve the session, so that the
// others keep this player (they drop a silent one after a few seconds).
constexpr int32_t kInactiveServiceMs = 50;

void wait_while_inactive(Game& game) {
  if (networking_on(game.settings) && game.world.in_session) {
    platform::wait_event_timeout(game.shell.main_window, kInactiveServiceMs);
    keep_session_alive(game);
  } else {
    platform::wait_event(game.shell.main_window);
  }
}

bool local_time_now(std::tm& out) {
  const std::time_t now = std::time(nullptr);
  return localtime_r(&now, &out) != nullptr;
}

}  // namespace

uint32_t run_message_loop(Game& game) {
  WorldState& world = game.world;
  // A clean exit returns 0; only a quit event carries its own exit code
  // (other events' parameters, such as Escape's key code, are not exit codes).
  while (world.quit_requested == 0) {
    report_state_if_asked(game);
    platform::WindowEvent event;
    if (platform::take_event(game.shell.main_window, event)) {
      if (event.type == platform::WindowEventType::Quit) {
        world.quit_requested = 1;
        return event.wparam;
      }
      window_procedure(game, event);
    } else if (world.app_active == 1) {
      run_one_frame(game);
    } else {
      wait_while_inactive(game);
    }
  }
  return 0;
}

int program_main(Game& game) {
  std::tm local{};
  local_time_now(local);
  if (!write_run_log_header(kRunLogName, local)) return 0;
  std::snprintf(game.shell.error_text, sizeof game.shell.error_text, "No errors whilst running!");
  game.log.echo = true;
  game.session.open_router_port = true;
  install_state_report();

  const int code = start_up(game);
  if (code != STARTUP_OK) {
    game.world.app_active = 0;
    if (code == STARTUP_NOT_CONFIGURED) {
      platform::message_box(game.shell.main_window,
                            "Please run the configurator before attempting to run the game!",
                            "Not Configurated", platform::MessageIcon::Warning);
      return 0;
    }
    shut_down(game);
    platform::message_box(game.shell.main_window, game.shell.error_text, kWindowTitle,
                          platform::MessageIcon::Error);
    platform::destroy_window(game.shell.main_window);
    game.shell.main_window = nullptr;
    return 0;
  }

  choose_frame_pacing(game);
  game.world.frame_start_ms = now_ms(game.shell.timer);
  const uint32_t exit_code = run_message_loop(game);

  shut_down(game);
  platform::destroy_window(game.shell.main_window);
  game.shell.main_window = nullptr;
  if (!write_run_log_footer(kRunLogName)) return 0;
  return static_cast<int>(exit_code);
}
