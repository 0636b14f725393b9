// The menu rules: cursor limits, key pacing, Enter on empty rows, the pause
// menu's entries and the entry prompt.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "core/game.h"
#include "menus/menus.h"
#include "net/session.h"
#include "shell/main_loop.h"

namespace {

void press(Game& game, uint8_t scan_code) { game.input.key_state[scan_code] = kKeyDownBit; }
void release_all(Game& game) { game.input.key_state.fill(0); }

// One frame of the driver's pacing: key_delay runs down before the menus act.
void tick(Game& game) {
  if (game.world.key_delay > 0) --game.world.key_delay;
}

std::unique_ptr<Game> client_with_sessions(int count) {
  auto game = std::make_unique<Game>();
  game->settings.is_host = 0;
  session_menu_frame(*game);  // phase 0: connect and list
  EXPECT_EQ(game->menus.session_menu_phase, 1);
  game->session.session_count = count;
  for (int i = 0; i < count; ++i) {
    std::snprintf(game->session.session_list[static_cast<std::size_t>(i)].session_name, 80, "Game %d", i);
  }
  return game;
}

}  // namespace

TEST(SessionMenu, HostEntersTheGameInItsFirstFrame) {
  Game game;
  game.settings.is_host = 1;
  game.world.tank.in_play = 1;
  game.world.chat_entry_open = 1;
  session_menu_frame(game);
  EXPECT_EQ(game.world.in_session, 1);
  EXPECT_EQ(game.world.awaiting_entry, 1);
  EXPECT_EQ(game.world.tank.in_play, 0);
  EXPECT_EQ(game.world.chat_entry_open, 0);
  EXPECT_EQ(game.menus.session_menu_phase, 0) << "the host never sees the list";
}

TEST(SessionMenu, ClientWithoutSessionsCannotConfirmAnyRow) {
  auto game = client_with_sessions(0);
  press(*game, kScanEnter);
  for (int frame = 0; frame < 50; ++frame) {
    tick(*game);
    session_menu_frame(*game);
  }
  EXPECT_EQ(game->world.in_session, 0);
}

TEST(SessionMenu, CursorMovesOverAllEightRowsOnePerTwentyFrames) {
  auto game = client_with_sessions(3);
  press(*game, kScanDown);
  int moves_seen = 0;
  int last = game->menus.menu_cursor;
  for (int frame = 0; frame < 20 * 10; ++frame) {
    tick(*game);
    session_menu_frame(*game);
    if (game->menus.menu_cursor != last) {
      ++moves_seen;
      last = game->menus.menu_cursor;
    }
    if (frame == 20) {
      EXPECT_EQ(game->menus.menu_cursor, 2) << "one row per 20 frames";
    }
  }
  EXPECT_EQ(game->menus.menu_cursor, 7) << "stops on the last row";
  EXPECT_EQ(moves_seen, 7);
  release_all(*game);
  press(*game, kScanUp);
  for (int frame = 0; frame < 20 * 10; ++frame) {
    tick(*game);
    session_menu_frame(*game);
  }
  EXPECT_EQ(game->menus.menu_cursor, 0);
}

TEST(SessionMenu, EnterActsOnlyOnListedRowsAndNotWithAMove) {
  auto game = client_with_sessions(3);
  game->menus.menu_cursor = 3;
  press(*game, kScanEnter);
  session_menu_frame(*game);
  EXPECT_EQ(game->world.in_session, 0) << "row 3 holds no session";

  // Down and Enter together only move the cursor in the session list.
  game->menus.menu_cursor = 1;
  press(*game, kScanDown);
  session_menu_frame(*game);
  EXPECT_EQ(game->menus.menu_cursor, 2);
  EXPECT_EQ(game->world.in_session, 0);

  // Enter on a listed row tries that game. With no network it cannot be
  // joined: the reason goes to the log and the menu lists the games again.
  release_all(*game);
  press(*game, kScanEnter);
  for (int frame = 0; frame < 20 && game->session.selected_session != 2; ++frame) {
    tick(*game);
    session_menu_frame(*game);
  }
  EXPECT_EQ(game->session.selected_session, 2);
  EXPECT_EQ(game->settings.is_host, 0);
  EXPECT_EQ(game->world.in_session, 0);
  EXPECT_EQ(game->world.awaiting_entry, 0);
  EXPECT_EQ(game->menus.session_menu_phase, 0);
  EXPECT_EQ(game->log.entries[0].category, LOG_ERROR);
  EXPECT_STREQ(game->log.entries[0].text, "The game could not be joined.");
}

TEST(PauseMenu, CursorStopsOnQuitAndDownWithEnterActsOnTheRowReached) {
  Game game;
  game.world.in_session = 1;
  game.world.pause_menu_open = 1;
  game.settings.particles_enabled = 1;
  game.menus.menu_cursor = 2;
  press(game, kScanDown);
  press(game, kScanEnter);
  pause_menu_frame(game);
  EXPECT_EQ(game.menus.menu_cursor, 3);
  EXPECT_EQ(game.settings.particles_enabled, 0) << "Particle effects toggled in the same frame";
  EXPECT_EQ(game.world.key_delay, 20u);

  release_all(game);
  press(game, kScanDown);
  for (int frame = 0; frame < 200; ++frame) {
    tick(game);
    pause_menu_frame(game);
  }
  EXPECT_EQ(game.menus.menu_cursor, 4);
  EXPECT_EQ(game.world.quit_requested, 0);
}

TEST(PauseMenu, EveryRowDoesItsJob) {
  Game game;
  game.world.in_session = 1;
  game.world.pause_menu_open = 1;
  game.settings.use_ipx = 1;
  game.settings.is_host = 0;
  game.settings.music_enabled = 0;
  press(game, kScanEnter);

  game.menus.menu_cursor = 1;  // Disconnect
  pause_menu_frame(game);
  EXPECT_EQ(game.settings.use_ipx, 0);
  EXPECT_EQ(game.settings.use_tcpip, 0);
  EXPECT_EQ(game.settings.is_host, 1);
  EXPECT_EQ(game.world.pause_menu_open, 1) << "Disconnect leaves the menu open";
  EXPECT_EQ(game.menus.menu_cursor, 1);

  game.world.key_delay = 0;
  game.menus.menu_cursor = 2;  // MIDI device with music off: nothing
  pause_menu_frame(game);
  EXPECT_EQ(game.world.pause_menu_open, 1);

  game.world.key_delay = 0;
  game.menus.menu_cursor = 0;  // Resume
  pause_menu_frame(game);
  EXPECT_EQ(game.world.pause_menu_open, 0);

  game.world.key_delay = 0;
  game.menus.menu_cursor = 4;  // Quit
  pause_menu_frame(game);
  EXPECT_EQ(game.world.quit_requested, 1);
  release_directplay(game);  // the session objects Disconnect made anew
}

TEST(PauseMenu, EscapeAfterTheSessionListPutsTheCursorOnResume) {
  auto game = client_with_sessions(1);
  game->menus.menu_cursor = 5;
  game->settings.is_host = 1;  // a game that opens without a network
  game->menus.session_menu_phase = 0;
  session_menu_frame(*game);
  ASSERT_EQ(game->world.in_session, 1);
  game->world.key_delay = 0;
  window_procedure(*game, {platform::WindowEventType::KeyDown, platform::kVirtualKeyEscape});
  EXPECT_EQ(game->world.pause_menu_open, 1);
  EXPECT_EQ(game->menus.menu_cursor, 0);
}

TEST(EntryPrompt, FireEntersOnlyOnceKeyDelayHasRunOut) {
  auto game = std::make_unique<Game>();
  game->settings.is_host = 1;
  game->input.mouse_button = 0x80;  // fire held since the session menu
  session_menu_frame(*game);
  ASSERT_EQ(game->world.awaiting_entry, 1);
  game->world.key_delay = 20;  // as the session list's Enter leaves it
  game->world.tank.vertical_speed = -0.25f;
  game->world.tank.health = 0;
  int frames = 0;
  while (game->world.awaiting_entry && frames < 100) {
    tick(*game);
    entry_prompt_frame(*game);
    ++frames;
  }
  EXPECT_EQ(frames, 20) << "not before key_delay is 0";
  const LocalTank& tank = game->world.tank;
  EXPECT_EQ(tank.in_play, 1);
  EXPECT_EQ(tank.health, 100);
  EXPECT_FLOAT_EQ(tank.fire_cooldown, 20.0f);
  EXPECT_FLOAT_EQ(tank.vertical_speed, -0.25f) << "entry keeps the vertical speed";
}

// A game listed with computer players reads "persons + computers" so that it
// does not look full to someone who would take a computer player's seat;
// one without them reads as it always has.
TEST(SessionMenu, ListedRowsCountComputerPlayersApart) {
  Game game;
  struct Case {
    int32_t players, computers;
    const char* row;
  };
  for (const Case& c : {Case{8, 7, "Test arena (1 + 7 computer/8)"}, Case{3, 0, "Test arena (3/8)"},
                        Case{8, 8, "Test arena (0 + 8 computer/8)"}}) {
    platform::SessionDescription found;
    std::snprintf(found.session_name, sizeof found.session_name, "Test arena");
    found.current_players = c.players;
    found.computer_players = c.computers;
    found.max_players = 8;
    game.session.session_count = 0;
    ASSERT_TRUE(on_session_found(static_cast<GameCore*>(&game), &found));
    char row[256];
    format_session_row(row, sizeof row, game.session.session_list[0]);
    EXPECT_STREQ(row, c.row);
  }
}

// The list of local and internet games: best round trip first, games that
// have not answered last, more than eight scrolled with the cursor, and
// each row's text.
TEST(SessionMenu, InternetGamesAreOrderedByRoundTripAndScrollPastEightRows) {
  auto game = client_with_sessions(0);
  SessionState& session = game->session;
  session.internet_listing = true;
  // A reader of no lists, so that the menu's refresh changes nothing here.
  session.lists = platform::create_list_reader(platform::ListAddresses{}, nullptr);
  const int32_t trips[] = {120, -1, 15, 300, 15, 42, -1, 7, 999, 64, 88, 2};
  session.session_count = 12;
  for (int32_t i = 0; i < 12; ++i) {
    SessionEntry& entry = session.session_list[static_cast<std::size_t>(i)];
    std::snprintf(entry.session_name, sizeof entry.session_name, "Game %d", i);
    entry.round_trip_ms = trips[i];
    entry.internet = i > 0;
    entry.port = static_cast<uint16_t>(25000 + i);
    entry.current_players = 8;
    entry.computer_players = 7;
    entry.max_players = 8;
  }
  order_sessions(session);
  const char* order[] = {"Game 11", "Game 7", "Game 2", "Game 4", "Game 5", "Game 9",
                         "Game 10", "Game 0", "Game 3", "Game 8", "Game 1", "Game 6"};
  for (std::size_t i = 0; i < 12; ++i) EXPECT_STREQ(session.session_list[i].session_name, order[i]) << i;

  char line[256];
  format_listed_row(line, sizeof line, session.session_list[0]);
  EXPECT_STREQ(line, "    2 ms  Game 11 (1 + 7 computer/8)") << "never shown as full";
  format_listed_row(line, sizeof line, session.session_list[11]);
  EXPECT_STREQ(line, "   -- ms  Game 6 (1 + 7 computer/8)");

  press(*game, kScanDown);
  for (int frame = 0; frame < 20 * 20; ++frame) {
    tick(*game);
    session_menu_frame(*game);
  }
  EXPECT_EQ(game->menus.menu_cursor, 7);
  EXPECT_EQ(game->menus.session_scroll, 4) << "scrolled to the last game, no further";
  release_all(*game);
  press(*game, kScanEnter);
  tick(*game);
  session_menu_frame(*game);
  EXPECT_EQ(session.selected_session, 11) << "the game in the row, not the row";
  EXPECT_EQ(game->world.in_session, 0) << "a game of no address cannot be joined";

  release_all(*game);
  session.session_count = 12;
  game->menus.session_menu_phase = 1;
  press(*game, kScanUp);
  for (int frame = 0; frame < 20 * 10; ++frame) {
    tick(*game);
    session_menu_frame(*game);
  }
  EXPECT_EQ(game->menus.menu_cursor, 0);
  EXPECT_EQ(game->menus.session_scroll, 1) << "up past the first row scrolls back";
  // A list that shrinks leaves no empty screenful.
  session.session_count = 3;
  session_menu_frame(*game);
  EXPECT_EQ(game->menus.session_scroll, 0);
  stop_internet_listing(session);
}
