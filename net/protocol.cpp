#include "net/protocol.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "core/game_core.h"
#include "net/message_log.h"
#include "net/score.h"
#include "platform/byte_reader.h"
#include "platform/byte_writer.h"

namespace {

void write_header(ByteWriter& out, const MessageHeader& header) {
  out.i32(header.type);
  out.i32(header.valid);
  out.u32(header.sender);
}

void read_header(ByteReader& in, MessageHeader& header) {
  header.type = in.i32();
  header.valid = in.i32();
  header.sender = in.u32();
}

bool is_projectile_number(int32_t number) { return number >= 0 && number < 256; }

static_assert(kPlayerSlots == kMaxPlayers);
static_assert(kScoreRows == kMaxPlayers);
static_assert(kScoreMessageSize == kMessageHeaderSize + kScoreRows * 16);

}  // namespace

const MessageTableRow* find_message_type(int32_t type) {
  for (const MessageTableRow& row : message_table)
    if (row.type == type) return &row;
  return nullptr;
}

std::array<uint8_t, kTextMessageSize> encode_message(const TextMessage& message) {
  std::array<uint8_t, kTextMessageSize> bytes{};
  ByteWriter out(bytes);
  write_header(out, message.header);
  out.text(message.text, kMessageTextSize);
  out.i32(message.value);
  return bytes;
}

std::array<uint8_t, kLifeStatusSize> encode_message(const StatusMessage& message) {
  std::array<uint8_t, kLifeStatusSize> bytes{};
  ByteWriter out(bytes);
  write_header(out, message.header);
  out.f32(message.x);
  out.f32(message.y);
  out.f32(message.z);
  out.f32(message.hull_heading);
  out.f32(message.turret_heading);
  out.f32(message.gun_pitch);
  out.i32(message.in_play);
  out.i32(message.health);
  out.u32(message.life);
  return bytes;
}

std::size_t encoded_size(const StatusMessage& message) {
  return message.has_life ? kLifeStatusSize : kStatusMessageSize;
}

namespace {

// The status's bytes as they go on the wire.
struct StatusBytes {
  std::array<uint8_t, kLifeStatusSize> bytes;
  std::size_t size;
  explicit StatusBytes(const StatusMessage& message)
      : bytes(encode_message(message)), size(encoded_size(message)) {}
  std::span<const uint8_t> span() const { return {bytes.data(), size}; }
};

}  // namespace

std::array<uint8_t, kFireMessageSize> encode_message(const FireMessage& message) {
  std::array<uint8_t, kFireMessageSize> bytes{};
  ByteWriter out(bytes);
  write_header(out, message.header);
  out.i32(message.number);
  out.f32(message.x);
  out.f32(message.y);
  out.f32(message.z);
  out.f32(message.vx);
  out.f32(message.vy);
  out.f32(message.vz);
  out.i32(message.hitscan);
  out.f32(message.heading);
  out.u32(message.owner_id);
  return bytes;
}

std::array<uint8_t, kScoreMessageSize> encode_message(const ScoreMessage& message) {
  std::array<uint8_t, kScoreMessageSize> bytes{};
  ByteWriter out(bytes);
  write_header(out, message.header);
  for (const ScoreRow& row : message.rows) {
    out.u32(row.player_id);
    out.i32(row.kills);
    out.i32(row.deaths);
    out.u32(row.round_trip_ms);
  }
  return bytes;
}

bool decode_header(std::span<const uint8_t> bytes, MessageHeader& header) {
  ByteReader in(bytes);
  read_header(in, header);
  return in.ok();
}

bool decode_message(std::span<const uint8_t> bytes, TextMessage& message) {
  ByteReader in(bytes);
  read_header(in, message.header);
  in.text(message.text, kMessageTextSize);
  message.value = in.i32();
  if (!in.ok()) return false;
  return message.header.type != MSG_PROJECTILE_GONE || is_projectile_number(message.value);
}

bool decode_message(std::span<const uint8_t> bytes, StatusMessage& message) {
  ByteReader in(bytes);
  read_header(in, message.header);
  message.x = in.f32();
  message.y = in.f32();
  message.z = in.f32();
  message.hull_heading = in.f32();
  message.turret_heading = in.f32();
  message.gun_pitch = in.f32();
  message.in_play = in.i32();
  message.health = in.i32();
  if (!in.ok()) return false;
  // The life follows when the status is long enough to hold it.
  message.has_life = bytes.size() >= kLifeStatusSize;
  message.life = message.has_life ? in.u32() : 0;
  return in.ok();
}

bool decode_message(std::span<const uint8_t> bytes, FireMessage& message) {
  ByteReader in(bytes);
  read_header(in, message.header);
  message.number = in.i32();
  message.x = in.f32();
  message.y = in.f32();
  message.z = in.f32();
  message.vx = in.f32();
  message.vy = in.f32();
  message.vz = in.f32();
  message.hitscan = in.i32();
  message.heading = in.f32();
  message.owner_id = in.u32();
  if (!in.ok()) return false;
  return message.number == kUnnumberedShot || is_projectile_number(message.number);
}

bool decode_message(std::span<const uint8_t> bytes, ScoreMessage& message) {
  ByteReader in(bytes);
  read_header(in, message.header);
  for (ScoreRow& row : message.rows) {
    row.player_id = in.u32();
    row.kills = in.i32();
    row.deaths = in.i32();
    row.round_trip_ms = in.u32();
  }
  return in.ok();
}

// ---------------------------------------------------------------------------
// Delivery

namespace {

bool transport_send(GameCore& game, uint32_t to, bool guaranteed, std::span<const uint8_t> bytes) {
  const Transport& transport = game.protocol.transport;
  if (!transport.send) return false;
  return transport.send(transport.context, game.world.tank.local_player_id, to, guaranteed,
                        bytes.data(), bytes.size());
}

MessageHeader own_header(const GameCore& game, int32_t type) {
  return MessageHeader{type, 1, game.world.tank.local_player_id};
}

int invalid_message(GameCore& game, uint32_t from) {
  constexpr const char* kText = "Found an invalid message.";
  add_log_entry(game.log, LOG_ERROR, kText, "ERROR");
  if (game.hooks.message_refused) game.hooks.message_refused(game, from, kText);
  return 0;
}

// Health never wraps around, whatever a status message left in the slot.
int32_t lowered(int32_t health, int32_t damage) {
  const int64_t value = static_cast<int64_t>(health) - damage;
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

}  // namespace

void relay_to_all(GameCore& game, std::span<const uint8_t> bytes, bool guaranteed) {
  if (!transport_send(game, DPID_ALLPLAYERS, guaranteed, bytes))
    add_log_entry(game.log, LOG_ERROR, "Status relay failed.", "ERROR");
}

// ---------------------------------------------------------------------------
// The score table

namespace {

bool same_rows(const std::array<ScoreRow, kScoreRows>& a, const std::array<ScoreRow, kScoreRows>& b) {
  for (std::size_t i = 0; i < kScoreRows; ++i) {
    const ScoreRow& x = a[i];
    const ScoreRow& y = b[i];
    if (x.player_id != y.player_id || x.kills != y.kills || x.deaths != y.deaths ||
        x.round_trip_ms != y.round_trip_ms)
      return false;
  }
  return true;
}

}  // namespace

ScoreMessage current_score_table(const GameCore& game) {
  ScoreMessage table;
  table.header = MessageHeader{MSG_SCORE, 1, game.world.tank.local_player_id};
  for (std::size_t i = 0; i < kScoreRows; ++i) table.rows[i] = score_of_slot(game, i);
  return table;
}

void send_score_table(GameCore& game) {
  if (!game.settings.is_host || !networking_on(game.settings) || !game.world.in_session) return;
  ScoreState& score = game.score;
  const double now = game.world.frame_start_ms;
  if (!score.round_trips_read || now - score.round_trips_read_ms >= kRoundTripRefreshMs ||
      now < score.round_trips_read_ms) {
    read_round_trips(game);
    score.round_trips_read_ms = now;
    score.round_trips_read = true;
  }
  const ScoreMessage table = current_score_table(game);
  if (same_rows(table.rows, score.last_sent)) return;
  score.last_sent = table.rows;
  relay_to_all(game, encode_message(table));
}

void take_score_table(GameCore& game, const ScoreMessage& message) {
  for (const ScoreRow& row : message.rows) take_score_row(game, row);
}

int send_to_host(GameCore& game, std::span<const uint8_t> bytes, bool guaranteed) {
  if (game.settings.is_host) {
    handle_game_message(game, bytes, game.world.tank.local_player_id, DPID_SERVERPLAYER);
    return 1;
  }
  if (!transport_send(game, DPID_SERVERPLAYER, guaranteed, bytes))
    add_log_entry(game.log, LOG_ERROR, "Status send failed.", "ERROR");
  return 1;
}

// ---------------------------------------------------------------------------
// Sending

int send_status(GameCore& game) {
  if (!networking_on(game.settings) || !game.world.in_session) return 1;
  const LocalTank& tank = game.world.tank;
  StatusMessage message;
  message.header = own_header(game, MSG_STATUS);
  message.x = tank.x;
  message.y = tank.y;
  message.z = tank.z;
  message.hull_heading = tank.hull_heading;
  message.turret_heading = tank.turret_heading;
  message.gun_pitch = tank.gun_pitch;
  message.in_play = tank.in_play;
  message.health = tank.health;
  message.has_life = true;
  message.life = tank.life;
  // The first status of a life goes guaranteed, in order before the shots
  // of that life, which the host takes only from a tank it holds in play.
  const bool begins_life = tank.life != game.protocol.life_announced;
  game.protocol.life_announced = tank.life;
  send_to_host(game, StatusBytes(message).span(), begins_life);
  if (game.settings.is_host) send_score_table(game);
  return 1;
}

int send_event_text(GameCore& game, const char* text) {
  if (!networking_on(game.settings)) return 1;
  TextMessage message;
  message.header = own_header(game, MSG_EVENT);
  std::snprintf(message.text, sizeof message.text, "%s", text ? text : "");
  return send_to_host(game, encode_message(message));
}

int send_fire(GameCore& game, float x, float y, float z, float vx, float vy, float vz, float heading,
              int32_t hitscan, uint32_t owner_id) {
  FireMessage message;
  message.header = own_header(game, MSG_FIRE);
  message.number = kUnnumberedShot;
  message.x = x;
  message.y = y;
  message.z = z;
  message.vx = vx;
  message.vy = vy;
  message.vz = vz;
  message.hitscan = hitscan;
  message.heading = heading;
  message.owner_id = owner_id;
  return send_to_host(game, encode_message(message));
}

int send_damage(GameCore& game, int32_t slot_index, int32_t damage) {
  if (slot_index < 0 || slot_index >= static_cast<int32_t>(kMaxPlayers)) return 1;
  PlayerSlot& slot = game.world.player_table[static_cast<std::size_t>(slot_index)];
  slot.health = lowered(slot.health, damage);
  HostStatusRecord& record = game.protocol.host_records[static_cast<std::size_t>(slot_index)];
  // A player sending no life re-enters only after reporting itself out of
  // play since this hit; and every program must learn the new health even
  // if the player falls quiet.
  record.hit_since_out_of_play = 1;
  record.unsent = 1;
  TextMessage message;
  message.header = own_header(game, MSG_SET_HEALTH);
  message.value = slot.health;
  const auto bytes = encode_message(message);
  if (slot.player_id == game.world.tank.local_player_id) {
    handle_game_message(game, bytes, DPID_SERVERPLAYER, slot.player_id);
  } else if (!transport_send(game, slot.player_id, true, bytes)) {
    // Guaranteed: the host has already lowered its own copy, and a lost
    // set-health would leave host and victim disagreeing (a kill announced
    // for a tank that plays on).
    add_log_entry(game.log, LOG_ERROR, "Status send failed.", "ERROR");
  }
  return 1;
}

int send_projectile_gone(GameCore& game, int32_t number) {
  if (!game.settings.is_host) return 1;
  TextMessage message;
  message.header = own_header(game, MSG_PROJECTILE_GONE);
  message.value = number;
  handle_game_message(game, encode_message(message), game.world.tank.local_player_id,
                      DPID_SERVERPLAYER);
  return 1;
}

// ---------------------------------------------------------------------------
// Handling

namespace {

bool is_finite(const StatusMessage& m) {
  for (float value : {m.x, m.y, m.z, m.hull_heading, m.turret_heading, m.gun_pitch})
    if (!std::isfinite(value)) return false;
  return true;
}

bool is_finite(const FireMessage& m) {
  for (float value : {m.x, m.y, m.z, m.vx, m.vy, m.vz, m.heading})
    if (!std::isfinite(value)) return false;
  return true;
}

// What a player may fire: an unnumbered shell of its own.
bool is_players_own_shot(const FireMessage& message, uint32_t player) {
  return message.number == kUnnumberedShot && message.owner_id == player && message.hitscan == 0;
}

// The index of the first slot holding the player, or kPlayerSlots.
std::size_t slot_index_of(const GameCore& game, uint32_t player) {
  for (std::size_t i = 0; i < kPlayerSlots; ++i)
    if (game.world.player_table[i].player_id == player) return i;
  return kPlayerSlots;
}

// The sender's slot, or slot 0 for a sender in none.
std::size_t sender_index(const GameCore& game, uint32_t sender) {
  const std::size_t index = slot_index_of(game, sender);
  return index < kPlayerSlots ? index : 0;
}

PlayerSlot& sender_slot(GameCore& game, uint32_t sender) {
  return game.world.player_table[sender_index(game, sender)];
}

// A tank enters play with full health.
constexpr int32_t kEntryHealth = 100;

// The host's serial comparison of lives, so that the count may wrap.
bool newer_life(uint32_t life, uint32_t than) { return static_cast<int32_t>(life - than) > 0; }

bool held_out_of_play(const PlayerSlot& slot) { return slot.health < 1 || slot.in_play == 0; }

// A player's status as the host takes it; false when the host drops it.
// Only the host decides health: a status never raises or lowers the host's
// copy, but for a new life, which begins with full health. A new life is
// one newer than the last the host took a status of, from a tank the host
// holds dead or out of play; a status of an older life (sent before the
// player learned of its death, and late) is dropped whatever it says. A
// tank the host holds dead is out of play. A player that sends no life (an
// older program) begins a new life when it reports itself in play with 100
// after reporting itself out of play since the host's last hit.
bool accept_status(GameCore& game, std::size_t index, StatusMessage& message) {
  const PlayerSlot& slot = game.world.player_table[index];
  HostStatusRecord& record = game.protocol.host_records[index];
  int32_t health = slot.health;
  if (message.has_life) {
    if (newer_life(record.life, message.life)) return false;
    if (newer_life(message.life, record.life)) {
      if (held_out_of_play(slot)) health = kEntryHealth;
      record.life = message.life;
    }
  } else {
    if (message.in_play == 0) record.hit_since_out_of_play = 0;
    if (slot.health < 1 && message.health == kEntryHealth && message.in_play != 0 &&
        record.hit_since_out_of_play == 0)
      health = kEntryHealth;
  }
  message.health = health;
  if (message.health < 1) message.in_play = 0;
  return true;
}

// A shot is taken only from a tank the host holds alive and in play.
bool may_shoot(const GameCore& game, uint32_t player) {
  const std::size_t index = slot_index_of(game, player);
  if (index == kPlayerSlots) return false;
  const PlayerSlot& slot = game.world.player_table[index];
  return slot.active && !held_out_of_play(slot);
}

StatusMessage status_of_slot(const GameCore& game, std::size_t index) {
  const PlayerSlot& slot = game.world.player_table[index];
  StatusMessage message;
  message.header = MessageHeader{MSG_STATUS, 1, slot.player_id};
  message.x = slot.x;
  message.y = slot.y;
  message.z = slot.z;
  message.hull_heading = slot.hull_heading;
  message.turret_heading = slot.turret_heading;
  message.gun_pitch = slot.gun_pitch;
  message.in_play = slot.health < 1 ? 0 : slot.in_play;
  message.health = slot.health;
  message.has_life = true;
  message.life = game.protocol.host_records[index].life;
  return message;
}

// The active slot of the status's writer, or null. Statuses travel apart
// from the notices of joins and departures, so one may come before its
// player's creation or after its departure: it then belongs to nobody in
// the table and changes nothing (written into another slot it would move
// that player's tank, or bring a departed one back).
PlayerSlot* status_slot(GameCore& game, uint32_t sender) {
  const std::size_t index = slot_index_of(game, sender);
  if (index == kPlayerSlots || !game.world.player_table[index].active) return nullptr;
  return &game.world.player_table[index];
}

void handle_status(PlayerSlot& slot, const StatusMessage& message) {
  slot.x = message.x;
  slot.y = message.y;
  slot.z = message.z;
  slot.hull_heading = message.hull_heading;
  slot.turret_heading = message.turret_heading;
  slot.gun_pitch = message.gun_pitch;
  slot.in_play = message.in_play;
  slot.health = message.health;
}

void handle_fire(GameCore& game, FireMessage& message) {
  WorldState& world = game.world;
  if (game.settings.is_host && message.number == kUnnumberedShot) {
    message.number = world.projectile_next;
    world.projectile_next = (world.projectile_next + 1) % static_cast<int32_t>(kProjectileCount);
    if (networking_on(game.settings)) relay_to_all(game, encode_message(message));
  }
  if (message.number == kUnnumberedShot) return;
  Projectile& shot = world.projectile_table[static_cast<std::size_t>(message.number)];
  shot.active = 1;
  shot.x = message.x;
  shot.y = message.y;
  shot.z = message.z;
  shot.vx = message.vx;
  shot.vy = message.vy;
  shot.vz = message.vz;
  shot.heading = message.heading;
  shot.hitscan = message.hitscan;
  shot.owner_id = message.owner_id;
  if (game.hooks.shot_fired) game.hooks.shot_fired(game);
}

// Text-layout messages. A relay sends the decoded record again, which is
// byte for byte the message that arrived whenever that was well formed.
void handle_text(GameCore& game, const TextMessage& message) {
  const bool host = game.settings.is_host != 0;
  switch (message.header.type) {
    case MSG_CHAT:
      if (host) relay_to_all(game, encode_message(message));
      add_log_entry(game.log, LOG_CHAT, message.text, sender_slot(game, message.header.sender).name);
      break;
    case MSG_EVENT:
      if (host) relay_to_all(game, encode_message(message));
      add_log_entry(game.log, LOG_EVENT, message.text, "SYS");
      break;
    case MSG_PROJECTILE_GONE:
      if (host && networking_on(game.settings)) relay_to_all(game, encode_message(message));
      game.world.projectile_table[static_cast<std::size_t>(message.value)].active = 0;
      break;
    case MSG_SET_HEALTH:
      game.world.tank.health = message.value;
      break;
    default:
      break;
  }
}

}  // namespace

void resend_quiet_statuses(GameCore& game) {
  if (!game.settings.is_host || !networking_on(game.settings) || !game.world.in_session) return;
  const double now = game.world.frame_start_ms;
  for (std::size_t i = 0; i < kPlayerSlots; ++i) {
    const PlayerSlot& slot = game.world.player_table[i];
    HostStatusRecord& record = game.protocol.host_records[i];
    if (!slot.active || slot.player_id == game.world.tank.local_player_id || !record.unsent) continue;
    if (now - record.relayed_ms < kQuietStatusResendMs && now >= record.relayed_ms) continue;
    const StatusMessage message = status_of_slot(game, i);
    relay_to_all(game, StatusBytes(message).span(), true);
    record.relayed_ms = now;
    record.unsent = 0;
  }
}

int handle_game_message(GameCore& game, std::span<const uint8_t> bytes, uint32_t from, uint32_t) {
  MessageHeader header;
  if (!decode_header(bytes, header) || header.valid == 0) return invalid_message(game, from);
  const MessageTableRow* row = find_message_type(header.type);
  if (!row) {
    add_log_entry(game.log, LOG_ERROR, "Unknown message encountered.", "ERROR");
    return 1;
  }
  // On the host, a message from another player must be one that player may
  // write. The host's own messages come from its own id or, for health it
  // hands itself, from the server player's; a remote player never has either.
  const bool remote = game.settings.is_host && from != game.world.tank.local_player_id &&
                      from != DPID_SERVERPLAYER;
  if (remote && header.sender != from) return invalid_message(game, from);
  switch (row->layout) {
    case MessageLayout::Status: {
      StatusMessage message;
      if (!decode_message(bytes, message) || !is_finite(message)) return invalid_message(game, from);
      PlayerSlot* slot = status_slot(game, message.header.sender);
      if (!slot) break;
      const auto index = static_cast<std::size_t>(slot - game.world.player_table.data());
      if (remote && !accept_status(game, index, message)) break;
      if (game.settings.is_host) {
        relay_to_all(game, StatusBytes(message).span(), false);
        HostStatusRecord& record = game.protocol.host_records[index];
        record.relayed_ms = game.world.frame_start_ms;
        record.unsent = 1;
      }
      handle_status(*slot, message);
      break;
    }
    case MessageLayout::Fire: {
      FireMessage message;
      if (!decode_message(bytes, message) || !is_finite(message)) return invalid_message(game, from);
      if (remote && !is_players_own_shot(message, from)) return invalid_message(game, from);
      if (remote && !may_shoot(game, from)) {
        ++game.protocol.refused_shots;
        return invalid_message(game, from);
      }
      handle_fire(game, message);
      break;
    }
    case MessageLayout::Text: {
      TextMessage message;
      if (!decode_message(bytes, message)) return invalid_message(game, from);
      if (remote && message.header.type != MSG_CHAT) return invalid_message(game, from);
      // Relayed and shown without control characters.
      replace_control_characters(message.text);
      handle_text(game, message);
      break;
    }
    case MessageLayout::Score: {
      // Only the host keeps the score: a table reaching the host is forged.
      ScoreMessage message;
      if (!decode_message(bytes, message) || game.settings.is_host) return invalid_message(game, from);
      take_score_table(game, message);
      break;
    }
  }
  return 1;
}

// ---------------------------------------------------------------------------
// System messages

namespace {

void player_created(GameCore& game, uint32_t id, std::span<const uint8_t> name_bytes) {
  // The first inactive slot (slot 0 when all are active); a player already
  // in the table (its departure was lost) keeps its own.
  std::size_t index = slot_index_of(game, id);
  if (index == kPlayerSlots || !game.world.player_table[index].active) {
    index = 0;
    for (std::size_t i = 0; i < kPlayerSlots; ++i) {
      if (!game.world.player_table[i].active) {
        index = i;
        break;
      }
    }
  }
  PlayerSlot* slot = &game.world.player_table[index];
  game.protocol.host_records[index] = HostStatusRecord{};
  // The name ends at its NUL or with the message, and is cut to fit the slot.
  const std::size_t limit = std::min(name_bytes.size(), kPlayerSlotNameSize - 1);
  std::size_t length = 0;
  while (length < limit && name_bytes[length] != 0) ++length;
  // A reused slot starts clean: the departed tank's place, health and
  // in_play must not show until the new player's first status arrives.
  *slot = PlayerSlot{};
  if (length > 0) std::memcpy(slot->name, name_bytes.data(), length);
  replace_control_characters(slot->name);
  slot->active = 1;
  slot->player_id = id;
  char text[kPlayerSlotNameSize + 32];
  std::snprintf(text, sizeof text, "%s joined the game.", slot->name);
  add_log_entry(game.log, LOG_NOTICE, text, "SYS");
}

void player_destroyed(GameCore& game, uint32_t id) {
  // A player in no active slot was never seen to join (its creation was
  // lost from a full queue) or has already gone: no other slot, the
  // program's own least of all, is touched.
  const std::size_t index = slot_index_of(game, id);
  if (index == kPlayerSlots || !game.world.player_table[index].active) return;
  PlayerSlot& slot = game.world.player_table[index];
  slot.active = 0;
  char text[kPlayerSlotNameSize + 32];
  std::snprintf(text, sizeof text, "%.*s left the game.", static_cast<int>(kPlayerSlotNameSize - 1),
                slot.name);
  add_log_entry(game.log, LOG_NOTICE, text, "SYS");
}

}  // namespace

int handle_system_message(GameCore& game, std::span<const uint8_t> bytes) {
  ByteReader in(bytes);
  const uint32_t type = in.u32();
  if (!in.ok()) return 1;
  switch (type) {
    case DPSYS_CREATEPLAYERORGROUP: {
      const uint32_t id = in.u32();
      if (in.ok()) player_created(game, id, bytes.subspan(8));
      else add_log_entry(game.log, LOG_ERROR, "Found an unidentified message.", "ERROR");
      break;
    }
    case DPSYS_DESTROYPLAYERORGROUP: {
      const uint32_t id = in.u32();
      if (in.ok()) player_destroyed(game, id);
      else add_log_entry(game.log, LOG_ERROR, "Found an unidentified message.", "ERROR");
      break;
    }
    case DPSYS_SESSIONLOST:
      if (game.hooks.session_lost) game.hooks.session_lost(game);
      break;
    case DPSYS_HOST:
      add_log_entry(game.log, LOG_NOTICE, "The host has disconnected...", "SYS");
      add_log_entry(game.log, LOG_NOTICE, "All remote players lost!", "SYS");
      // Without its host the game goes on as a local game, exactly as after
      // the pause menu's Disconnect: nothing more is sent to a host that has
      // gone (which would only fill the log with failed sends), and this
      // program judges its own shots.
      game.settings.use_ipx = 0;
      game.settings.use_tcpip = 0;
      game.settings.is_host = 1;
      break;
    default:
      add_log_entry(game.log, LOG_ERROR, "Found an unidentified message.", "ERROR");
      break;
  }
  return 1;
}

// ---------------------------------------------------------------------------
// Receiving

namespace {

// On the host: a player's unnumbered shot that waited too long to be taken.
bool is_stale_fire_request(const GameCore& game, std::span<const uint8_t> bytes) {
  const Transport& transport = game.protocol.transport;
  if (!game.settings.is_host || !transport.waited_ms) return false;
  ByteReader in(bytes);
  const int32_t type = in.i32();
  in.seek(kMessageHeaderSize);
  const int32_t number = in.i32();
  if (!in.ok() || type != MSG_FIRE || number != kUnnumberedShot) return false;
  return transport.waited_ms(transport.context) > kStaleFireRequestMs;
}

// Every message waiting, handled in the order it came.
void take_messages(GameCore& game) {
  const Transport& transport = game.protocol.transport;
  const uint32_t me = game.world.tank.local_player_id;
  if (!transport.message_count || !transport.receive) return;
  if (transport.message_count(transport.context, me) == 0) return;
  auto& buffer = game.protocol.receive_buffer;
  for (;;) {
    uint32_t from = 0, to = 0;
    std::size_t size = 0;
    if (!transport.receive(transport.context, me, from, to, buffer.data(), buffer.size(), size))
      break;
    if (size < 4) continue;
    const std::span<const uint8_t> bytes(buffer.data(), std::min(size, buffer.size()));
    if (from != DPID_SYSMSG && is_stale_fire_request(game, bytes)) {
      ++game.protocol.stale_fire_requests;
      continue;
    }
    if (from == DPID_SYSMSG) {
      handle_system_message(game, bytes);
    } else {
      handle_game_message(game, bytes, from, to);
    }
    // The host has gone: the game is offline from this message on.
    if (!networking_on(game.settings)) break;
  }
}

}  // namespace

int receive_messages(GameCore& game) {
  if (!networking_on(game.settings) || !game.world.in_session) return 1;
  take_messages(game);
  // On the host: whoever sent nothing this frame may have fallen quiet.
  resend_quiet_statuses(game);
  return 1;
}
