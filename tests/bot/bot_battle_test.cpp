// Computer players as ordinary clients of a host game object, all in one
// process over real ENet on the loopback, on the shipped level, frames
// stepped as fast as they run: what the host sees of their fight.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bot/bot_player.h"
#include "core/game.h"
#include "net/session.h"
#include "server/server_game.h"
#include "world/simulation.h"

namespace {

const std::string kShippedLevel = std::string(MORVANE_GAME_DIR) + "/default.mvl";
constexpr int32_t kFramesPerSecond = 85;
constexpr double kFrameMs = 1000.0 / kFramesPerSecond;
constexpr int kGunDelayFrames = 60;

// Ports of this test program alone.
platform::SessionPorts test_ports() {
  const auto game = static_cast<uint16_t>(40000 + (getpid() % 5000) * 4);
  return {game, static_cast<uint16_t>(game + 1), 0};
}

// A host nobody plays: it relays, numbers shots and judges hits.
std::unique_ptr<GameCore> make_host(const LevelTable& level) {
  auto host = std::make_unique<GameCore>();
  host->settings.is_host = 1;
  host->settings.use_tcpip = 1;
  std::snprintf(host->settings.player_name, sizeof host->settings.player_name, "Arena");
  host->world.level = level;
  host->session.ports = test_ports();
  EXPECT_EQ(create_directplay(*host), 1);
  connect_configured(*host);
  EXPECT_EQ(enter_game(*host), 1);
  EXPECT_EQ(host->world.tank.local_player_id, 1u);
  return host;
}

std::unique_ptr<BotPlayer> join_bot(GameCore& host, const LevelTable& level, const char* name, int32_t skill,
                                    uint32_t seed) {
  auto bot = std::make_unique<BotPlayer>();
  BotSetup setup;
  setup.name = name;
  setup.skill = skill;
  setup.seed = seed;
  setup.address = "127.0.0.1";
  setup.level = &level;
  setup.ports = test_ports();
  setup.enumeration_ms = 300;
  EXPECT_TRUE(prepare_bot(*bot, setup));
  // The join blocks until the host answers: serve the host meanwhile.
  std::atomic<bool> done{false};
  std::thread server([&] {
    while (!done) {
      keep_session_alive(host);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  // A busy machine may not answer the listing in time: ask again.
  const char* why = join_game(*bot);
  for (int attempt = 1; attempt < 3 && why; ++attempt) why = join_game(*bot);
  done = true;
  server.join();
  EXPECT_EQ(why, nullptr) << why;
  return bot;
}

// What the host saw of one player over the run.
struct Record {
  std::string name;
  uint32_t id = 0;
  int kills = 0, deaths = 0;
  int shots = 0;
  int closest_shots = 1 << 30;  // fewest frames between two of its shots
  int last_shot = -1;
  int frames_in_play = 0, frames_still = 0;
  float travelled = 0;
  float last_x = 0, last_z = 0;
};

bool starts_with(const char* text, const std::string& prefix) {
  return std::strncmp(text, prefix.c_str(), prefix.size()) == 0;
}

bool ends_with(const char* text, const std::string& suffix) {
  const std::size_t n = std::strlen(text);
  return n >= suffix.size() && std::strcmp(text + n - suffix.size(), suffix.c_str()) == 0;
}

// Kill announcements the host logged since the last look ("victim verb
// killer"); the log keeps the newest four, and the frame driver's stand-in
// picture never ages them, so new ones are those of age 0.
void count_kills(GameCore& host, std::array<Record, 2>& players) {
  for (LogEntry& entry : host.log.entries) {
    if (entry.age == 0 && entry.category == LOG_EVENT) {
      for (Record& victim : players) {
        if (!starts_with(entry.text, victim.name + " ")) continue;
        victim.deaths += 1;
        for (Record& killer : players)
          if (&killer != &victim && ends_with(entry.text, " " + killer.name)) killer.kills += 1;
      }
    }
    entry.age = 1;
  }
}

// Shots the host numbered since the last look, by their owners.
void count_shots(const GameCore& host, int32_t& seen_next, int frame, std::array<Record, 2>& players) {
  for (; seen_next != host.world.projectile_next; seen_next = (seen_next + 1) % 256) {
    const uint32_t owner = host.world.projectile_table[static_cast<std::size_t>(seen_next)].owner_id;
    for (Record& player : players) {
      if (player.id != owner) continue;
      player.shots += 1;
      if (player.last_shot >= 0)
        player.closest_shots = std::min(player.closest_shots, frame - player.last_shot);
      player.last_shot = frame;
    }
  }
}

void note_motion(const GameCore& game, Record& player) {
  const LocalTank& tank = game.world.tank;
  if (!tank.in_play) return;
  const float moved = std::hypot(tank.x - player.last_x, tank.z - player.last_z);
  if (player.frames_in_play > 0 && moved < 1.0f) {  // a new entry jumps to the origin
    player.travelled += moved;
    if (moved < 0.01f) player.frames_still += 1;
  }
  player.last_x = tank.x;
  player.last_z = tank.z;
  player.frames_in_play += 1;
}

// How a newcomer who does nothing fares: the host's own player (the one
// who started the game) enters, never touches a control, and enters again
// a second after each death, against computer players of one skill.
struct NewcomerLives {
  int entries = 0;
  int dead_within_3s = 0;
  int alive_after_5s = 0;
  double median_seconds = 0;  // of the lives, those cut at the limit counted as the limit
  // Of every tank's entries as the host saw them, the shortest distance
  // to another tank in play.
  float closest_entry = 1e9f;
};

struct Newcomer {
  int32_t skill = 1;
  int bots = 3;
  int entries = 0;
  int longest_life_frames = kFramesPerSecond * 30;  // a life is cut there
};

// Every tank the host sees come into play, its distance to the nearest
// other tank in play then.
void note_entries(const GameCore& host, std::array<int32_t, kMaxPlayers>& was_in_play, NewcomerLives& result) {
  const auto& table = host.world.player_table;
  for (std::size_t k = 0; k < kMaxPlayers; ++k) {
    const bool in_play = table[k].active && table[k].in_play;
    if (in_play && !was_in_play[k]) {
      for (std::size_t j = 0; j < kMaxPlayers; ++j) {
        if (j == k || !table[j].active || !table[j].in_play) continue;
        result.closest_entry =
            std::min(result.closest_entry, std::hypot(table[j].x - table[k].x, table[j].z - table[k].z));
      }
    }
    was_in_play[k] = in_play;
  }
}

NewcomerLives passive_newcomer(const LevelTable& level, const Newcomer& setup) {
  constexpr int kWaitFrames = kFramesPerSecond;
  NewcomerLives result;
  auto host = make_host(level);
  std::vector<std::unique_ptr<BotPlayer>> bots;
  for (int i = 0; i < setup.bots; ++i)
    bots.push_back(join_bot(*host, level, ("Bot " + std::to_string(i + 1)).c_str(), setup.skill,
                            21 + static_cast<uint32_t>(i)));
  std::vector<int> lives;
  std::array<int32_t, kMaxPlayers> was_in_play{};
  const LocalTank& tank = host->world.tank;
  int waited = 0, life = 0;
  for (int frame = 0; static_cast<int>(lives.size()) < setup.entries; ++frame) {
    if (host->world.awaiting_entry && ++waited > kWaitFrames) {
      host->input.mouse_button = 1;  // fire pressed at the entry prompt, and let go
      if (enter_play_on_fire(*host)) waited = life = 0;
      host->input.mouse_button = 0;
    }
    host->world.frames_per_second = kFramesPerSecond;
    for (auto& bot : bots) bot->game.world.frames_per_second = kFramesPerSecond;
    EXPECT_TRUE(run_unattended_frame(*host, frame * kFrameMs));
    for (auto& bot : bots) EXPECT_TRUE(run_bot_frame(*bot, frame * kFrameMs));
    note_entries(*host, was_in_play, result);
    if (tank.in_play && ++life >= setup.longest_life_frames) host->world.tank.health = 0;  // long enough
    if (!tank.in_play && life > 0) {
      lives.push_back(life);
      result.dead_within_3s += life < 3 * kFramesPerSecond;
      result.alive_after_5s += life >= 5 * kFramesPerSecond;
      life = 0;
    }
  }
  for (auto& bot : bots) leave_game(*bot);
  release_directplay(*host);
  result.entries = static_cast<int>(lives.size());
  std::sort(lives.begin(), lives.end());
  result.median_seconds = lives[lives.size() / 2] / static_cast<double>(kFramesPerSecond);
  return result;
}

// A newcomer to a full game, seven computer players at the dedicated
// server's skill, who stands still after entering: it enters away from
// them, and they leave it alone long enough to look around. No tank ever
// enters inside another.
TEST(BotBattle, NewcomerToAFullGameSurvivesItsFirstSeconds) {
  auto level = std::make_unique<LevelTable>();
  ASSERT_EQ(load_level(*level, kShippedLevel.c_str()), 1);
  Newcomer setup;
  setup.skill = 2;
  setup.bots = 7;
  setup.entries = 16;
  setup.longest_life_frames = 6 * kFramesPerSecond;
  const NewcomerLives lives = passive_newcomer(*level, setup);
  std::printf("7 bots at skill 2: a passive newcomer was alive after 5 s in %d of %d entries, median life "
              "%.2f s; closest entry to a tank in play %.1f\n",
              lives.alive_after_5s, lives.entries, lives.median_seconds, static_cast<double>(lives.closest_entry));
  EXPECT_GE(lives.alive_after_5s * 4, lives.entries * 3);
  EXPECT_GT(lives.closest_entry, 4.0f);
}

TEST(BotBattle, FairStartHardestBeatsEasiestNoOutfiringNoShotsAtAFrozenGame) {
  auto level = std::make_unique<LevelTable>();
  ASSERT_EQ(load_level(*level, kShippedLevel.c_str()), 1);
  // A fair start: the computer players leave a tank alone for its first
  // seconds, at the skill `morvane --bots` starts at and at morvane-bot's
  // own; a newcomer who never fights back still falls soon after. Their
  // own part in it: every tank enters at the origin here, in view of all.
  auto one_entry = std::make_unique<LevelTable>(*level);
  one_entry->entry_count = 0;
  for (const int32_t skill : {kEasiestSkill, 2}) {
    SCOPED_TRACE("skill " + std::to_string(skill));
    Newcomer setup;
    setup.skill = skill;
    setup.entries = 40;
    const NewcomerLives lives = passive_newcomer(*one_entry, setup);
    std::printf("skill %d: a passive newcomer died within 3 s in %d of %d entries, median life %.2f s\n",
                skill, lives.dead_within_3s, lives.entries, lives.median_seconds);
    EXPECT_LE(lives.dead_within_3s, lives.entries / 5);
    EXPECT_LT(lives.median_seconds, 15.0);
  }
  auto host = make_host(*level);
  auto hard = join_bot(*host, *level, "Bot Hard", kHardestSkill, 11);
  auto easy = join_bot(*host, *level, "Bot Easy", kEasiestSkill, 12);
  std::array<Record, 2> players;
  players[0].name = "Bot Hard";
  players[0].id = hard->game.world.tank.local_player_id;
  players[1].name = "Bot Easy";
  players[1].id = easy->game.world.tank.local_player_id;

  constexpr int kFrames = kFramesPerSecond * 60 * 3;  // three minutes of play
  int32_t seen_next = 0;
  for (int frame = 0; frame < kFrames; ++frame) {
    for (GameCore* game : {host.get(), &hard->game, &easy->game})
      game->world.frames_per_second = kFramesPerSecond;
    ASSERT_TRUE(run_unattended_frame(*host, frame * kFrameMs)) << "frame " << frame;
    for (BotPlayer* bot : {hard.get(), easy.get()})
      ASSERT_TRUE(run_bot_frame(*bot, frame * kFrameMs)) << "frame " << frame;
    count_kills(*host, players);
    count_shots(*host, seen_next, frame, players);
    note_motion(hard->game, players[0]);
    note_motion(easy->game, players[1]);
  }

  for (const Record& p : players) {
    SCOPED_TRACE(p.name);
    std::printf("%s: %d kills, %d deaths, %d shots, %d of %d frames still, %.0f travelled\n",
                p.name.c_str(), p.kills, p.deaths, p.shots, p.frames_still, p.frames_in_play,
                static_cast<double>(p.travelled));
    // The gun waits 60 frames after a shot, whoever holds the button.
    EXPECT_LE(p.shots, kFrames / kGunDelayFrames + 1);
    if (p.shots > 1) {
      EXPECT_GE(p.closest_shots, kGunDelayFrames - 1);
    }
    // It fights, enters again after each death, and keeps moving.
    EXPECT_GE(p.shots, 20);
    EXPECT_GE(p.frames_in_play, kFrames / 2);
    EXPECT_LT(p.frames_still, p.frames_in_play / 4);
    EXPECT_GT(p.travelled, 300.0f);
  }
  // Every kill of one is a death of the other.
  EXPECT_EQ(players[0].kills, players[1].deaths);
  EXPECT_EQ(players[1].kills, players[0].deaths);
  EXPECT_GE(players[0].kills, 4);
  EXPECT_GE(players[0].kills, 2 * players[1].kills);

  // The host's window is put aside for ten seconds: its session is served
  // but it handles and relays nothing, so every tank the players see stops.
  // Within a second and a half they fire no more.
  int fired_while_frozen = 0;
  int32_t fired_before = 0;
  for (int frame = 0; frame < 10 * kFramesPerSecond; ++frame) {
    keep_session_alive(*host);
    for (BotPlayer* bot : {hard.get(), easy.get()})
      ASSERT_TRUE(run_bot_frame(*bot, (kFrames + frame) * kFrameMs));
    const int32_t fired = hard->shots_fired + easy->shots_fired;
    if (frame == kFramesPerSecond * 3 / 2) fired_before = fired;
    if (frame > kFramesPerSecond * 3 / 2) fired_while_frozen = fired - fired_before;
  }
  EXPECT_EQ(fired_while_frozen, 0) << "they fired at a frozen game";

  for (auto* bot : {hard.get(), easy.get()}) leave_game(*bot);
  // The host sees both go at once.
  const auto& table = host->world.player_table;
  for (int frame = 0; frame < 200 && (table[1].active || table[2].active); ++frame) {
    run_unattended_frame(*host, (kFrames + 10 * kFramesPerSecond + frame) * kFrameMs);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(host->world.player_table[1].active, 0);
  EXPECT_EQ(host->world.player_table[2].active, 0);
  release_directplay(*host);
}

}  // namespace

namespace {

double steady_ms() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

std::size_t slot_index_of_id(const GameCore& game, uint32_t id) {
  for (std::size_t i = 0; i < game.world.player_table.size(); ++i)
    if (game.world.player_table[i].active && game.world.player_table[i].player_id == id) return i;
  return 0;
}

int active_slots(const GameCore& game) {
  int count = 0;
  for (const PlayerSlot& slot : game.world.player_table) count += slot.active;
  return count;
}

// Runs the server's frames, paced loosely, until `done` or the time runs out.
template <typename Done>
bool serve_until(GameCore& host, ComputerSeats& seats, double seconds, Done done) {
  const double end = steady_ms() + seconds * 1000.0;
  while (steady_ms() < end) {
    host.world.frames_per_second = kFramesPerSecond;
    run_server_frame(host, seats, steady_ms());
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

}  // namespace

// The dedicated server with seven computer players of its own: the game is
// full, a person joining it is taken all the same (a computer player gives
// its seat up), and when the person leaves the computer player comes back.
// The server's own player holds the host's seat and never enters play:
// nobody shoots it and no hit is ever judged against it.
TEST(BotBattle, ServerBotsYieldTheirSeatsToPeopleAndTheServerNeverPlays) {
  auto level = std::make_unique<LevelTable>();
  ASSERT_EQ(load_level(*level, kShippedLevel.c_str()), 1);
  auto host = std::make_unique<GameCore>();
  ASSERT_TRUE(open_server_game(*host, "Test server", test_ports(), *level));
  EXPECT_EQ(host->world.tank.local_player_id, 1u);
  EXPECT_STREQ(host->world.player_table[0].name, "Server");
  auto seats = std::make_unique<ComputerSeats>();
  start_computer_seats(*seats, *host, kMaxServerBots, 3, 5, *level);

  ASSERT_TRUE(serve_until(*host, *seats, 30, [&] { return computer_players(*seats) == kMaxServerBots; }))
      << computer_players(*seats) << " computer players joined";
  EXPECT_EQ(active_slots(*host), 8);
  EXPECT_EQ(platform::seats_taken(host->session.peer), 8);

  // They fight for a while (the hardest ones, who shoot at whatever is in
  // play): the server's tank stays out of play, untouched.
  const PlayerSlot& server_slot = host->world.player_table[0];
  const int32_t server_health = host->world.tank.health;
  int kills = 0;
  serve_until(*host, *seats, 8, [&] {
    EXPECT_EQ(server_slot.in_play, 0);
    EXPECT_EQ(host->world.tank.in_play, 0);
    for (LogEntry& entry : host->log.entries) {
      if (entry.age == 0 && entry.category == LOG_EVENT) {
        ++kills;
        EXPECT_EQ(std::strstr(entry.text, "Server"), nullptr) << entry.text;
      }
      entry.age = 1;
    }
    return false;
  });
  EXPECT_GT(kills, 0) << "the computer players did not fight";
  EXPECT_EQ(host->world.tank.health, server_health);
  EXPECT_EQ(host->protocol.host_records[0].hit_since_out_of_play, 0);

  // A person joins the full game: taken, and one computer player has gone.
  auto person = std::make_unique<BotPlayer>();
  BotSetup setup;
  setup.name = "Person";
  setup.address = "127.0.0.1";
  setup.level = level.get();
  setup.ports = test_ports();
  setup.enumeration_ms = 300;
  ASSERT_TRUE(prepare_bot(*person, setup));
  std::atomic<bool> joined{false};
  const char* why = "not yet";
  std::thread joiner([&] {
    why = join_game(*person);
    joined = true;
  });
  serve_until(*host, *seats, 15, [&] { return joined.load(); });
  joiner.join();
  ASSERT_EQ(why, nullptr) << why;
  // It had listed seven computer players in seven places: the server's own
  // seat, which nobody can play in, is not shown as a player.
  const SessionEntry& listed = person->game.session.session_list[0];
  EXPECT_EQ(listed.current_players, kMaxServerBots);
  EXPECT_EQ(listed.computer_players, kMaxServerBots);
  EXPECT_EQ(listed.max_players, kMaxServerBots);
  const uint32_t person_id = person->game.world.tank.local_player_id;
  ASSERT_TRUE(serve_until(*host, *seats, 5, [&] {
    run_bot_frame(*person, steady_ms());
    return computer_players(*seats) == kMaxServerBots - 1;
  }));
  EXPECT_EQ(active_slots(*host), 8);
  EXPECT_EQ(host->world.player_table[slot_index_of_id(*host, person_id)].player_id, person_id);
  // The game stays full: no computer player starts a join while it is, so
  // none is dropped for another and every player keeps its seat.
  auto ids_of = [](const GameCore& game) {
    std::array<uint32_t, 8> ids{};
    for (std::size_t i = 0; i < ids.size(); ++i)
      ids[i] = game.world.player_table[i].active ? game.world.player_table[i].player_id : 0;
    return ids;
  };
  const std::array<uint32_t, 8> seated = ids_of(*host);
  serve_until(*host, *seats, 4, [&] {
    run_bot_frame(*person, steady_ms());
    EXPECT_EQ(ids_of(*host), seated) << "the players of a full game changed";
    return ids_of(*host) != seated;
  });
  EXPECT_EQ(computer_players(*seats), kMaxServerBots - 1);
  EXPECT_EQ(platform::seats_taken(host->session.peer), 8);

  // The person leaves: a computer player takes the seat again.
  leave_game(*person);
  EXPECT_TRUE(serve_until(*host, *seats, 15, [&] { return computer_players(*seats) == kMaxServerBots; }));
  EXPECT_EQ(active_slots(*host), 8);

  // Closing tells every player at once: the computer players are freed.
  close_server_game(*host, *seats);
  EXPECT_EQ(computer_players(*seats), 0);
}
