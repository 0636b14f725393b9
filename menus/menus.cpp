#include "menus/menus.h"

#include <cstdio>

#include "audio/music.h"
#include "core/game.h"
#include "graphics/text.h"
#include "net/message_log.h"
#include "net/session.h"
#include "platform/clock.h"
#include "world/input.h"
#include "world/simulation.h"

namespace {

constexpr uint32_t kMenuKeyDelay = 20;  // frames between two menu key actions
constexpr int32_t kLastSessionRow = 7;
constexpr int32_t kLastPauseRow = 4;

// The two credit lines of the title screen.
constexpr const char* kCreditLine1 = "Morvane - armoured combat for up to eight players";
constexpr const char* kCreditLine2 = "Written by the Morvane team";

// Characters are taken as 10 units wide on the 640-unit virtual screen; a
// character of several UTF-8 bytes is one glyph.
void draw_centred(const Game& game, int32_t y, const char* text, int32_t font_set) {
  draw_text(game, 320 - 5 * text_columns(text), y, text, font_set);
}

// Up or Down moves the cursor one row within 0..last, paced by key_delay.
// Returns true when a key was taken.
bool move_cursor(Game& game, int32_t last_row) {
  int32_t& cursor = game.menus.menu_cursor;
  if (key_down(game.input, kScanUp)) {
    if (cursor > 0) --cursor;
  } else if (key_down(game.input, kScanDown)) {
    if (cursor < last_row) ++cursor;
  } else {
    return false;
  }
  game.world.key_delay = kMenuKeyDelay;
  return true;
}

// Both paths of the session menu end here. A refused or failed join is said
// in the message log, and the player stays at the session menu, which lists
// the games again.
void enter_from_menu(Game& game) {
  if (enter_game(game) == 1) return;
  add_log_entry(game.log, LOG_ERROR, join_failure_text(game), "SYS");
  game.menus.session_menu_phase = 0;
}

// The first listed game shown: never past the last screenful.
void clamp_scroll(Game& game) {
  int32_t& scroll = game.menus.session_scroll;
  const int32_t before = scroll;
  const int32_t last_first = game.session.session_count - (kLastSessionRow + 1);
  if (scroll > last_first) scroll = last_first;
  if (scroll < 0) scroll = 0;
  // The cursor stays on the same game while it is on the screen.
  int32_t& cursor = game.menus.menu_cursor;
  cursor += before - scroll;
  if (cursor > kLastSessionRow) cursor = kLastSessionRow;
  if (cursor < 0) cursor = 0;
}

void draw_session_list(Game& game) {
  char line[256];
  std::snprintf(line, sizeof line, "Select a game, %s", game.settings.player_name);
  draw_centred(game, 300, line, 1);
  const SessionState& session = game.session;
  for (int32_t row = 0; row <= kLastSessionRow; ++row) {
    const int32_t index = game.menus.session_scroll + row;
    if (index < session.session_count) {
      const SessionEntry& entry = session.session_list[static_cast<std::size_t>(index)];
      if (session.internet_listing)
        format_listed_row(line, sizeof line, entry);
      else
        format_session_row(line, sizeof line, entry);
      draw_text(game, 100, 260 - 20 * row, line, 0);
    } else {
      draw_text(game, 100, 260 - 20 * row, "<< NO SESSION >>", 0);
    }
  }
}

// Up or Down past the first or last row scrolls a list longer than the rows.
void move_session_cursor(Game& game) {
  int32_t& cursor = game.menus.menu_cursor;
  int32_t& scroll = game.menus.session_scroll;
  if (key_down(game.input, kScanDown) && cursor == kLastSessionRow &&
      scroll + kLastSessionRow + 1 < game.session.session_count) {
    ++scroll;
    game.world.key_delay = kMenuKeyDelay;
  } else if (key_down(game.input, kScanUp) && cursor == 0 && scroll > 0) {
    --scroll;
    game.world.key_delay = kMenuKeyDelay;
  } else {
    move_cursor(game, kLastSessionRow);
  }
}

bool same_game(const SessionEntry& a, const SessionEntry& b) {
  if (a.internet != b.internet) return false;
  return a.internet ? a.host == b.host && a.port == b.port : a.instance == b.instance;
}

// The list is read again and reordered as games answer: the cursor stays
// on the game it was on, so that Enter joins the game the player chose.
void refresh_keeping_selection(Game& game) {
  SessionState& session = game.session;
  const int32_t selected = game.menus.session_scroll + game.menus.menu_cursor;
  const bool on_game = session.internet_listing && selected < session.session_count;
  const SessionEntry chosen = on_game ? session.session_list[static_cast<std::size_t>(selected)] : SessionEntry{};
  if (!refresh_internet_games(session, platform::millisecond_clock()) || !on_game) return;
  for (int32_t i = 0; i < session.session_count; ++i) {
    if (!same_game(session.session_list[static_cast<std::size_t>(i)], chosen)) continue;
    if (i == selected) return;
    // Keep the cursor's row where it can; scroll instead.
    int32_t scroll = i - game.menus.menu_cursor;
    if (scroll < 0) scroll = 0;
    game.menus.session_scroll = scroll;
    game.menus.menu_cursor = i - scroll;
    if (game.menus.menu_cursor > kLastSessionRow) {
      game.menus.session_scroll = i - kLastSessionRow;
      game.menus.menu_cursor = kLastSessionRow;
    }
    return;
  }
}

void session_list_frame(Game& game) {
  refresh_keeping_selection(game);
  clamp_scroll(game);
  draw_session_list(game);
  if (game.world.key_delay == 0) move_session_cursor(game);
  draw_text(game, 80, 260 - 20 * game.menus.menu_cursor, ">", 0);
  // Enter acts only when no key was just taken, and only on a listed row.
  const int32_t selected = game.menus.session_scroll + game.menus.menu_cursor;
  if (key_down(game.input, kScanEnter) && game.world.key_delay == 0 && selected < game.session.session_count) {
    game.world.key_delay = kMenuKeyDelay;
    game.session.selected_session = selected;
    game.settings.is_host = 0;
    enter_from_menu(game);
  }
}

void act_on_pause_row(Game& game) {
  switch (game.menus.menu_cursor) {
    case 0:
      game.world.pause_menu_open = 0;
      break;
    case 1:
      // The game goes on offline, this program acting as its own host.
      reset_directplay(game);
      game.settings.use_ipx = 0;
      game.settings.use_tcpip = 0;
      game.settings.is_host = 1;
      break;
    case 2:
      if (game.settings.music_enabled) switch_midi_port(game);
      break;
    case 3:
      game.settings.particles_enabled = game.settings.particles_enabled ? 0 : 1;
      break;
    case 4:
      game.world.quit_requested = 1;
      break;
    default:
      break;
  }
}

}  // namespace

void format_session_row(char* line, std::size_t size, const SessionEntry& entry) {
  if (entry.computer_players > 0)
    std::snprintf(line, size, "%.79s (%d + %d computer/%d)", entry.session_name,
                  entry.current_players - entry.computer_players, entry.computer_players, entry.max_players);
  else
    std::snprintf(line, size, "%.79s (%d/%d)", entry.session_name, entry.current_players, entry.max_players);
}

void format_listed_row(char* line, std::size_t size, const SessionEntry& entry) {
  char row[192];
  format_session_row(row, sizeof row, entry);
  if (entry.round_trip_ms >= 0)
    std::snprintf(line, size, "%5d ms  %s", entry.round_trip_ms, row);
  else
    std::snprintf(line, size, "   -- ms  %s", row);
}

int session_menu_frame(Game& game) {
  draw_text(game, 0, 16, kCreditLine1, 0);
  draw_text(game, 0, 0, kCreditLine2, 0);
  char version[32];
  std::snprintf(version, sizeof version, "Version: %.2f", static_cast<double>(GAME_VERSION));
  draw_text(game, 630 - 10 * text_columns(version), 0, version, 0);

  if (game.menus.session_menu_phase == 0) {
    connect_configured(game);
    if (game.settings.is_host) {
      enter_from_menu(game);  // the host never sees the session list
    } else {
      enumerate_sessions(game);
      game.menus.session_scroll = 0;
      game.menus.session_menu_phase = 1;
    }
    return 1;
  }
  session_list_frame(game);
  return 1;
}

int pause_menu_frame(Game& game) {
  draw_centred(game, 400, "Morvane - PAUSE MENU", 1);
  char midi_line[160];
  std::snprintf(midi_line, sizeof midi_line, "MIDI Device: %.127s", current_midi_port_name(game));
  const char* rows[] = {"Resume game", "Disconnect", midi_line,
                        game.settings.particles_enabled ? "Particle effects: ON" : "Particle effects: OFF",
                        "Quit"};
  for (int32_t row = 0; row <= kLastPauseRow; ++row) draw_text(game, 232, 280 - 20 * row, rows[row], 0);

  if (game.world.key_delay == 0) {
    move_cursor(game, kLastPauseRow);
    // Enter is tested even after Up or Down, so it acts on the row just reached.
    if (key_down(game.input, kScanEnter)) {
      game.world.key_delay = kMenuKeyDelay;
      act_on_pause_row(game);
    }
  }
  draw_text(game, 200, 280 - 20 * game.menus.menu_cursor, ">", 0);
  return 1;
}

int entry_prompt_frame(Game& game) {
  draw_centred(game, 300, "Press fire to enter the game", 1);
  enter_play_on_fire(game);
  return 1;
}
