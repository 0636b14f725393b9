#include "server/server_log.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <array>
#include <span>

#include "net/message_log.h"
#include "net/score.h"
#include "platform/byte_reader.h"
#include "core/game_core.h"

double steady_log_ms() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void log_line_start() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  std::printf("%s ", stamp);
}

void log_line(const char* format, ...) {
  log_line_start();
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::putchar('\n');
  std::fflush(stdout);
}

namespace {

const char* name_of(const GameCore& game, uint32_t id) {
  for (const PlayerSlot& slot : game.world.player_table)
    if (slot.player_id == id) return slot.name;
  return "?";
}

// The seat a player's id holds: its slot of the player table, where every
// program of the game holds it too.
int seat_of(const GameCore& game, uint32_t id) {
  for (std::size_t i = 0; i < game.world.player_table.size(); ++i) {
    const PlayerSlot& slot = game.world.player_table[i];
    if (slot.active && slot.player_id == id) return static_cast<int>(i);
  }
  return -1;
}

// The seat a joining player is about to take, as the game will give it:
// its own if it is still held, else the first free one.
int seat_for_joining(const GameCore& game, uint32_t id) {
  if (const int seat = seat_of(game, id); seat >= 0) return seat;
  for (std::size_t i = 0; i < game.world.player_table.size(); ++i)
    if (!game.world.player_table[i].active) return static_cast<int>(i);
  return 0;
}

int32_t players_in(const GameCore& game) {
  int32_t count = 0;
  for (const PlayerSlot& slot : game.world.player_table)
    if (slot.active && slot.player_id != game.world.tank.local_player_id) ++count;
  return count;
}

// A player's arrival or departure, told before the game handles it (a
// departing player's name is still in the table).
void note_system_message(const ServerLog& log, std::span<const uint8_t> bytes) {
  ByteReader in(bytes);
  const uint32_t type = in.u32();
  const uint32_t id = in.u32();
  if (!in.ok()) return;
  if (type == DPSYS_CREATEPLAYERORGROUP) {
    char name[kPlayerSlotNameSize] = {};
    for (std::size_t i = 8; i < bytes.size() && i - 8 < sizeof name - 1 && bytes[i] != 0; ++i)
      name[i - 8] = static_cast<char>(bytes[i]);
    replace_control_characters(name);
    log_line("join: %s (seat %d), %d of 7 seats taken", name, seat_for_joining(*log.host, id),
             players_in(*log.host) + 1);
  } else if (type == DPSYS_DESTROYPLAYERORGROUP) {
    log_line("leave: %s (seat %d), %d of 7 seats taken", name_of(*log.host, id), seat_of(*log.host, id),
             players_in(*log.host) - 1);
  }
}

// What the host relays to everyone: its chat lines and kill announcements,
// their texts already rid of control characters.
void note_relay(const ServerLog& log, std::span<const uint8_t> bytes) {
  MessageHeader header;
  if (!decode_header(bytes, header) || (header.type != MSG_CHAT && header.type != MSG_EVENT)) return;
  TextMessage message;
  if (!decode_message(bytes, message)) return;
  if (header.type == MSG_CHAT)
    log_line("chat: %s: %s", name_of(*log.host, header.sender), message.text);
  else if (!log.quiet_kills)
    log_line("kill: %s", message.text);
}

bool send_watched(void* context, uint32_t from, uint32_t to, bool guaranteed, const uint8_t* bytes,
                  std::size_t size) {
  const auto& log = *static_cast<const ServerLog*>(context);
  if (to == DPID_ALLPLAYERS) note_relay(log, {bytes, size});
  return log.network.send && log.network.send(log.network.context, from, to, guaranteed, bytes, size);
}

uint32_t count_watched(void* context, uint32_t player) {
  const auto& network = static_cast<const ServerLog*>(context)->network;
  return network.message_count ? network.message_count(network.context, player) : 0;
}

bool receive_watched(void* context, uint32_t player, uint32_t& from, uint32_t& to, uint8_t* buffer,
                     std::size_t capacity, std::size_t& size) {
  const auto& log = *static_cast<const ServerLog*>(context);
  const Transport& network = log.network;
  if (!network.receive || !network.receive(network.context, player, from, to, buffer, capacity, size))
    return false;
  if (from == DPID_SYSMSG) note_system_message(log, {buffer, size < capacity ? size : capacity});
  return true;
}

uint32_t waited_watched(void* context) {
  const auto& network = static_cast<const ServerLog*>(context)->network;
  return network.waited_ms ? network.waited_ms(network.context) : 0;
}

uint32_t round_trip_watched(void* context, uint32_t player) {
  const auto& network = static_cast<const ServerLog*>(context)->network;
  return network.round_trip_ms ? network.round_trip_ms(network.context, player) : 0;
}

constexpr double kRefusalLineMs = 1000.0;

// The sender's count, or the one unused or longest quiet when it has none.
RefusalCount& refusals_of(ServerLog& log, uint32_t sender) {
  RefusalCount* quietest = &log.refusals[0];
  for (RefusalCount& entry : log.refusals) {
    if (entry.sender == sender) return entry;
    if (entry.sender == 0 && quietest->sender != 0) quietest = &entry;
    if (entry.sender != 0 && quietest->sender != 0 && entry.last_line_ms < quietest->last_line_ms)
      quietest = &entry;
  }
  *quietest = RefusalCount{sender};
  return *quietest;
}

// The host refused a message and logged `text` for it: one line with the
// sender, at once for the first and then at most once a second, counting
// the refusals since the last line (the one it reports included).
void note_refusal(GameCore& game, uint32_t from, const char* text) {
  if (game.protocol.transport.send != send_watched) return;
  ServerLog& log = *static_cast<ServerLog*>(game.protocol.transport.context);
  RefusalCount& entry = refusals_of(log, from);
  entry.count += 1;
  const double now = log.clock();
  if (entry.lined && now - entry.last_line_ms < kRefusalLineMs) return;
  if (entry.count == 1)
    log_line("refused: %s (seat %d): %s", name_of(game, from), seat_of(game, from), text);
  else
    log_line("refused: %s (seat %d): %s (%u times since the last line)", name_of(game, from), seat_of(game, from), text,
             entry.count);
  entry.lined = true;
  entry.count = 0;
  entry.last_line_ms = now;
}

}  // namespace

void watch_host(ServerLog& log, GameCore& host) {
  log.host = &host;
  log.network = host.protocol.transport;
  host.protocol.transport =
      Transport{&log, send_watched, count_watched, receive_watched, waited_watched, round_trip_watched};
  host.hooks.message_refused = note_refusal;
}

void count_frame(ServerLog& log, double frame_start_ms, int32_t seconds, int32_t computer_players) {
  log.period_frames += 1;
  const double elapsed_ms = frame_start_ms - log.period_start_ms;
  if (seconds <= 0 || elapsed_ms < seconds * 1000.0) return;
  const platform::SessionTraffic traffic = platform::session_traffic(log.host->session.peer);
  const double elapsed_s = elapsed_ms / 1000.0;
  log_line(
      "status: %d players (%d computer), %.1f frames a second, sent %.1f kB/s, "
      "received %.1f kB/s",
      players_in(*log.host), computer_players, static_cast<double>(log.period_frames) / elapsed_s,
      static_cast<double>(traffic.sent_bytes - log.period_traffic.sent_bytes) / 1000.0 / elapsed_s,
      static_cast<double>(traffic.received_bytes - log.period_traffic.received_bytes) / 1000.0 / elapsed_s);
  log.period_start_ms = frame_start_ms;
  log.period_frames = 0;
  log.period_traffic = traffic;
}

void log_scores(const GameCore& host) {
  std::array<ScoreLine, kMaxPlayers> lines;
  const std::size_t count = score_lines(host, lines);
  int32_t logged = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const ScoreLine& line = lines[i];
    if (line.local) continue;
    const auto seat = static_cast<int>(line.slot - host.world.player_table.data());
    log_line("score: %s (seat %d), %d kills, %d deaths", line.slot->name, seat, line.score.kills,
             line.score.deaths);
    ++logged;
  }
  if (logged == 0) log_line("score: nobody is in the game");
}
