#include "bot/bot_player.h"

#include <algorithm>
#include <cstdio>
#include <span>

#include "net/message_log.h"
#include "net/protocol.h"
#include "net/session.h"
#include "shell/frame_driver.h"
#include "world/simulation.h"

namespace {

int nothing(GameCore&) { return 1; }
void no_music(GameCore&) {}

int entry_prompt_stage(GameCore& game) {
  enter_play_on_fire(game);
  return 1;
}

// The decision-maker has written the input state before the frame begins.
// It presses fire to enter only when it saw itself at the entry prompt: a
// shot in the frame in which the host's kill arrives must not put the tank
// straight back into play.
constexpr FrameStages kComputerStages{nothing,         send_status, receive_messages, no_music,
                                      simulation_step, nothing,     nothing,          nothing,
                                      nothing,         nothing};
constexpr FrameStages kComputerEntryStages{nothing,         send_status, receive_messages, no_music,
                                           simulation_step, nothing,     nothing,          nothing,
                                           nothing,         entry_prompt_stage};
constexpr FrameStages kUnattendedStages{nothing,         send_status, receive_messages, no_music,
                                        simulation_step, nothing,     nothing,          nothing,
                                        nothing,         nothing};

// The session's transport, with every status and numbered shot that
// arrives told to the decision-maker on its way to the game.
bool send_through(void* context, uint32_t from, uint32_t to, bool guaranteed, const uint8_t* bytes,
                  std::size_t size) {
  const Transport& network = static_cast<BotPlayer*>(context)->network;
  return network.send && network.send(network.context, from, to, guaranteed, bytes, size);
}

uint32_t count_through(void* context, uint32_t player) {
  const Transport& network = static_cast<BotPlayer*>(context)->network;
  return network.message_count ? network.message_count(network.context, player) : 0;
}

bool receive_through(void* context, uint32_t player, uint32_t& from, uint32_t& to, uint8_t* buffer,
                     std::size_t capacity, std::size_t& size) {
  auto& bot = *static_cast<BotPlayer*>(context);
  const Transport& network = bot.network;
  if (!network.receive || !network.receive(network.context, player, from, to, buffer, capacity, size))
    return false;
  if (from == DPID_SYSMSG) return true;
  const std::span<const uint8_t> bytes(buffer, std::min(size, capacity));
  MessageHeader header;
  if (!decode_header(bytes, header) || header.valid == 0) return true;
  StatusMessage status;
  FireMessage shot;
  if (header.type == MSG_STATUS && decode_message(bytes, status)) {
    hear_status(bot.brain, status.header.sender);
  } else if (header.type == MSG_FIRE && decode_message(bytes, shot) && shot.number != kUnnumberedShot) {
    hear_shot(bot.brain, shot.owner_id);
  }
  return true;
}

bool frame_at(GameCore& game, const FrameStages& stages, double frame_start_ms, BotPlayer* bot) {
  WorldState& world = game.world;
  world.frame_start_ms = frame_start_ms;
  if (world.key_delay > 0) world.key_delay -= 1;
  const FrameStages* frame_stages = &stages;
  if (bot) {
    // The decision-maker in place of the devices, as the frame's first stage.
    decide(bot->brain, world, game.input);
    if (bot->holding) game.input = InputState{};
    if (world.awaiting_entry) frame_stages = &kComputerEntryStages;
  }
  if (run_frame(game, *frame_stages) != 1) return false;
  return networking_on(game.settings);
}

}  // namespace

bool prepare_bot(BotPlayer& bot, const BotSetup& setup) {
  GameCore& game = bot.game;
  GameSettings& settings = game.settings;
  const bool internet = setup.address && setup.address[0] != '\0';
  settings.is_host = 0;
  settings.use_tcpip = internet ? 1 : 0;
  settings.use_ipx = internet ? 0 : 1;
  std::snprintf(settings.host_address, sizeof settings.host_address, "%s", internet ? setup.address : "");
  std::snprintf(settings.player_name, sizeof settings.player_name, "%s", setup.name ? setup.name : "");
  if (setup.level) game.world.level = *setup.level;
  seed_random(game, setup.seed);
  hide_log_entries(game.log);
  start_computer_player(bot.brain, setup.skill, setup.seed, game.world.level);
  game.session.ports = setup.ports;
  game.session.enumeration_ms = setup.enumeration_ms;
  if (create_directplay(game) != 1) return false;
  bot.network = game.protocol.transport;
  game.protocol.transport = Transport{&bot, send_through, count_through, receive_through};
  return true;
}

const char* join_game(BotPlayer& bot, const platform::SessionInstance* instance) {
  GameCore& game = bot.game;
  connect_configured(game);
  enumerate_sessions(game);
  if (game.session.session_count == 0)
    return game.settings.use_tcpip ? "The game did not answer." : "No game answered on the local network.";
  game.session.selected_session = 0;
  if (instance) {
    const auto& list = game.session.session_list;
    int32_t i = 0;
    while (i < game.session.session_count && list[static_cast<std::size_t>(i)].instance != *instance) ++i;
    game.session.selected_session = i;  // past the list when it is not there
  }
  if (enter_game(game) != 1) return join_failure_text(game);
  return nullptr;
}

bool run_bot_frame(BotPlayer& bot, double frame_start_ms) {
  const LocalTank& tank = bot.game.world.tank;
  const float cooldown = tank.fire_cooldown;
  const bool was_in_play = tank.in_play != 0;
  const bool running = frame_at(bot.game, kComputerStages, frame_start_ms, &bot);
  // In play, the gun's wait starts anew only when it fires.
  if (was_in_play && tank.fire_cooldown > cooldown) ++bot.shots_fired;
  return running;
}

bool run_unattended_frame(GameCore& game, double frame_start_ms) {
  return frame_at(game, kUnattendedStages, frame_start_ms, nullptr);
}

void leave_game(BotPlayer& bot) { release_directplay(bot.game); }
