#include "tests/fuzz/fuzz_support.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "net/message_log.h"
#include "net/protocol.h"

namespace {

std::string g_input_name = "(unnamed input)";
FuzzWire g_wire;

template <std::size_t N>
bool terminated(const char (&field)[N]) {
  return std::memchr(field, 0, N) != nullptr;
}

bool finite_position(float x, float y, float z) {
  return std::isfinite(x) && std::isfinite(y) && std::isfinite(z);
}

bool a_number(float x, float y, float z) { return !std::isnan(x) && !std::isnan(y) && !std::isnan(z); }

bool wire_send(void* context, uint32_t, uint32_t, bool, const uint8_t* bytes, std::size_t size) {
  auto& wire = *static_cast<FuzzWire*>(context);
  fuzz_require(size <= kReceiveBufferSize, "a sent message fits the receive buffer");
  MessageHeader header;
  fuzz_require(decode_header({bytes, size}, header), "a sent message has a header");
  const MessageTableRow* row = find_message_type(header.type);
  // A status may carry its life after the 44 bytes every program reads.
  const bool sized = row != nullptr && (row->size == size || (header.type == MSG_STATUS && size == kLifeStatusSize));
  fuzz_require(sized, "a sent message has its type's size");
  ++wire.sent;
  return true;
}

uint32_t wire_count(void* context, uint32_t) {
  const auto& wire = *static_cast<FuzzWire*>(context);
  return static_cast<uint32_t>(wire.inbox.size() - wire.next);
}

bool wire_receive(void* context, uint32_t, uint32_t& from, uint32_t& to, uint8_t* buffer,
                  std::size_t capacity, std::size_t& size) {
  auto& wire = *static_cast<FuzzWire*>(context);
  if (wire.next == wire.inbox.size()) return false;
  const FuzzWire::Waiting& message = wire.inbox[wire.next++];
  from = message.from;
  to = 0;
  size = message.bytes.size();
  if (size > 0) std::memcpy(buffer, message.bytes.data(), std::min(size, capacity));
  return true;
}

uint32_t wire_waited_ms(void* context) {
  const auto& wire = *static_cast<FuzzWire*>(context);
  return wire.next > 0 ? wire.inbox[wire.next - 1].waited_ms : 0;
}

// A text from the network as stored: nothing left that the control
// character filter would change (no control code, no broken UTF-8).
template <std::size_t N>
bool shown_safely(const char (&field)[N]) {
  char copy[N];
  std::memcpy(copy, field, N);
  replace_control_characters(copy);
  return std::memcmp(copy, field, N) == 0;
}

}  // namespace

void fuzz_require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "Broken: %s\n  after input %s\n", what, g_input_name.c_str());
  std::abort();
}

void set_fuzz_input_name(const std::string& name) { g_input_name = name; }

void check_game(const Game& game) {
  const WorldState& world = game.world;
  for (const PlayerSlot& slot : world.player_table) {
    fuzz_require(terminated(slot.name), "player names end inside their field");
    fuzz_require(shown_safely(slot.name), "player names hold no control codes");
    fuzz_require(finite_position(slot.x, slot.y, slot.z), "player positions are finite");
    fuzz_require(std::isfinite(slot.hull_heading) && std::isfinite(slot.turret_heading) &&
                     std::isfinite(slot.gun_pitch),
                 "player headings are finite");
  }
  fuzz_require(finite_position(world.tank.x, world.tank.y, world.tank.z), "the tank's position is finite");
  for (const Projectile& shot : world.projectile_table)
    if (shot.active) fuzz_require(a_number(shot.x, shot.y, shot.z), "projectile positions are numbers");
  for (const Particle& puff : world.particle_pool)
    if (puff.active) fuzz_require(a_number(puff.x, puff.y, puff.z), "particle positions are numbers");
  fuzz_require(world.projectile_next >= 0 && world.projectile_next < static_cast<int32_t>(kProjectileCount),
               "the next projectile number is in the table");
  fuzz_require(world.particle_next >= 0 && world.particle_next < static_cast<int32_t>(kParticleCount),
               "the next particle is in the ring");
  fuzz_require(world.level.count >= 0 && world.level.count < static_cast<int32_t>(kLevelObjectCount),
               "the level count is in the table");
  fuzz_require(terminated(world.chat_line), "the chat line ends inside its field");
  for (const LogEntry& entry : game.log.entries)
    fuzz_require(terminated(entry.text) && terminated(entry.source), "log texts end inside their fields");
  for (const LogEntry& entry : game.log.entries)
    fuzz_require(shown_safely(entry.text) && shown_safely(entry.source), "log texts hold no control codes");
  const SessionState& session = game.session;
  fuzz_require(session.session_count >= 0 && session.session_count <= static_cast<int32_t>(kMaxSessions),
               "at most 8 sessions are listed");
  for (const SessionEntry& entry : session.session_list)
    fuzz_require(terminated(entry.session_name), "session names end inside their field");
  fuzz_require(terminated(game.settings.player_name) && terminated(game.settings.host_address),
               "configured texts end inside their fields");
}

std::unique_ptr<Game> make_session_game(bool host) {
  auto game = std::make_unique<Game>();
  game->settings.use_tcpip = 1;
  game->settings.is_host = host ? 1 : 0;
  game->settings.sound_enabled = 0;
  game->world.in_session = 1;
  game->world.tank.local_player_id = host ? DPID_SERVERPLAYER : 2;
  game->world.tank.health = 100;
  const char* names[] = {"Host", "Client"};
  for (uint32_t i = 0; i < 2; ++i) {
    PlayerSlot& slot = game->world.player_table[i];
    slot.active = 1;
    slot.player_id = i + 1;
    slot.health = 100;
    slot.in_play = 1;
    std::snprintf(slot.name, sizeof slot.name, "%s", names[i]);
  }
  g_wire = FuzzWire{};
  game->protocol.transport = Transport{&g_wire, wire_send, wire_count, wire_receive, wire_waited_ms};
  return game;
}

FuzzWire& fuzz_wire() { return g_wire; }

std::FILE* open_bytes(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return nullptr;
  return fmemopen(const_cast<uint8_t*>(bytes.data()), bytes.size(), "r");
}

void put_u16(FuzzInput& out, uint16_t value) {
  for (int i = 0; i < 2; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void put_u32(FuzzInput& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void put_text(FuzzInput& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }

FuzzInput bytes_of(const std::string& text) { return FuzzInput(text.begin(), text.end()); }

FuzzInput read_file_bytes(const std::string& path) {
  FuzzInput bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return bytes;
  uint8_t chunk[4096];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  std::fclose(file);
  return bytes;
}
