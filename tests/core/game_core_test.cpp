// The game's core on its own, as a program without a window runs it: two
// players' cores in one process play a shot through the host, and tell the
// program around them what happened through hooks that may be left null.
// This program links the core alone (see core_links_headless).
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "core/game_core.h"
#include "net/protocol.h"
#include "net/session.h"
#include "world/projectiles.h"
#include "world/simulation.h"

namespace {

// A core as a computer player would hold it, counting what its hooks heard.
struct CountingCore : GameCore {
  CountingCore() { hooks = CoreHooks{count_shot, count_session_lost}; }
  static void count_shot(GameCore& core) { ++static_cast<CountingCore&>(core).shots_heard; }
  static void count_session_lost(GameCore& core) { ++static_cast<CountingCore&>(core).sessions_lost; }
  int shots_heard = 0;
  int sessions_lost = 0;
};

// Players 1 (the host) and 2: a send lands at once in the queue of the
// player it names; id 0 reaches the other one.
struct Loopback {
  struct Packet {
    uint32_t from;
    std::vector<uint8_t> bytes;
  };
  std::array<std::deque<Packet>, 3> queues;

  static Loopback& of(void* context) { return *static_cast<Loopback*>(context); }
  static bool send(void* context, uint32_t from, uint32_t to, bool, const uint8_t* bytes, std::size_t size) {
    const uint32_t target = to == DPID_ALLPLAYERS ? 3 - from : to;
    if (target < 1 || target > 2) return false;
    of(context).queues[target].push_back(Packet{from, std::vector<uint8_t>(bytes, bytes + size)});
    return true;
  }
  static uint32_t count(void* context, uint32_t player) {
    return static_cast<uint32_t>(of(context).queues[player].size());
  }
  static bool receive(void* context, uint32_t player, uint32_t& from, uint32_t& to, uint8_t* buffer,
                      std::size_t capacity, std::size_t& size) {
    auto& queue = of(context).queues[player];
    if (queue.empty()) return false;
    from = queue.front().from;
    to = player;
    size = queue.front().bytes.size();
    std::memcpy(buffer, queue.front().bytes.data(), std::min(size, capacity));
    queue.pop_front();
    return true;
  }
};

void join(GameCore& core, Loopback& network, uint32_t id) {
  core.settings.is_host = id == DPID_SERVERPLAYER ? 1 : 0;
  core.settings.use_tcpip = 1;
  core.world.in_session = 1;
  core.world.tank.local_player_id = id;
  core.world.tank.in_play = 1;
  core.world.tank.health = 100;
  // Both players in every table, in play: the host takes shots only from
  // tanks it holds in play.
  for (uint32_t player : {1u, 2u}) {
    PlayerSlot& slot = core.world.player_table[player - 1];
    slot.active = slot.in_play = 1;
    slot.player_id = player;
    slot.health = 100;
  }
  core.protocol.transport = Transport{&network, Loopback::send, Loopback::count, Loopback::receive};
}

std::array<uint8_t, 4> session_lost_message() {
  std::array<uint8_t, 4> bytes{};
  const uint32_t type = DPSYS_SESSIONLOST;
  std::memcpy(bytes.data(), &type, sizeof type);  // little-endian, as every message
  return bytes;
}

}  // namespace

TEST(GameCore, AClientsShotIsNumberedByTheHostAndHeardByBoth) {
  Loopback network;
  auto host = std::make_unique<CountingCore>();
  auto client = std::make_unique<CountingCore>();
  join(*host, network, 1);
  join(*client, network, 2);

  client->input.mouse_button = 1;
  simulation_step(*client, 1.0f);
  EXPECT_FALSE(client->world.projectile_table[0].active);  // not numbered yet
  receive_messages(*host);
  receive_messages(*client);

  for (const CountingCore* core : {host.get(), client.get()}) {
    const Projectile& shot = core->world.projectile_table[0];
    EXPECT_TRUE(shot.active);
    EXPECT_EQ(shot.owner_id, 2u);
    EXPECT_EQ(core->shots_heard, 1);
  }
  EXPECT_EQ(host->world.projectile_next, 1);
}

TEST(GameCore, NullHooksLeaveEverythingElseAsTheHooksWouldHave) {
  auto quiet = std::make_unique<GameCore>();
  auto counting = std::make_unique<CountingCore>();
  for (GameCore* core : {quiet.get(), static_cast<GameCore*>(counting.get())}) {
    core->settings.is_host = 1;  // a game of one: the host handles its own shot
    fire_shell(*core);
    EXPECT_TRUE(core->world.projectile_table[0].active);
    EXPECT_EQ(handle_system_message(*core, session_lost_message()), 1);
    EXPECT_EQ(core->world.quit_requested, 0);
  }
  EXPECT_EQ(counting->shots_heard, 1);
  EXPECT_EQ(counting->sessions_lost, 1);
}

// The session layer comes with the core: a program without a window creates
// and releases its session objects as the game does.
TEST(GameCore, SessionObjectsComeAndGoWithoutAWindow) {
  auto core = std::make_unique<GameCore>();
  ASSERT_EQ(create_directplay(*core), 1);
  EXPECT_NE(core->protocol.transport.send, nullptr);
  EXPECT_EQ(connect_ipx(*core), 1);
  EXPECT_EQ(release_directplay(*core), 1);
  EXPECT_EQ(core->session.peer, nullptr);
  EXPECT_EQ(core->protocol.transport.send, nullptr);
}
