// What the players' programs say to each other: status, shots, removals,
// health, chat and events, and the chat line editor.
//
// Every game message is a fixed-size little-endian record with a 12-byte
// header (type, valid, sender). The host numbers every shot, judges every
// hit and relays every message it handles to all players; clients send only
// to the host. The records below are the only description of the bytes on
// the wire: one encoder and one decoder per layout, checked against the size
// table before anything is read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/protocol_state.h"
#include "core/score_state.h"
#include "world/simulation_sends.h"  // the simulation's sends, implemented here

struct GameCore;

enum MessageType : int32_t {
  MSG_CHAT = 0,
  MSG_STATUS = 3,
  MSG_FIRE = 5,
  MSG_PROJECTILE_GONE = 6,
  MSG_SET_HEALTH = 7,
  MSG_EVENT = 8,
  MSG_SCORE = 9,
};

// Player ids of the session: "all players" (also the sender of system
// messages) and the host's own player.
inline constexpr uint32_t DPID_ALLPLAYERS = 0;
inline constexpr uint32_t DPID_SYSMSG = 0;
inline constexpr uint32_t DPID_SERVERPLAYER = 1;

// System messages of the session layer, by the type in their first field.
inline constexpr uint32_t DPSYS_CREATEPLAYERORGROUP = 0x0003;
inline constexpr uint32_t DPSYS_DESTROYPLAYERORGROUP = 0x0005;
inline constexpr uint32_t DPSYS_SESSIONLOST = 0x0031;
inline constexpr uint32_t DPSYS_HOST = 0x0101;

inline constexpr std::size_t kMessageHeaderSize = 12;
inline constexpr std::size_t kTextMessageSize = 272;
inline constexpr std::size_t kStatusMessageSize = 44;
// A status that also carries its life: the size this program sends. The
// 44 bytes before are all an older program sends, and all it reads.
inline constexpr std::size_t kLifeStatusSize = 48;
inline constexpr std::size_t kFireMessageSize = 52;
// The header and one 16-byte row per seat.
inline constexpr std::size_t kScoreMessageSize = 140;
inline constexpr std::size_t kMessageTextSize = 256;  // 255 characters + NUL
static_assert(kMessageTextSize == kEventTextSize);
inline constexpr int32_t kUnnumberedShot = -1;

enum class MessageLayout { Text, Status, Fire, Score };

struct MessageTableRow {
  int32_t type;
  std::size_t size;
  MessageLayout layout;
};

// Every game message type with its size and layout.
inline constexpr std::array<MessageTableRow, 7> message_table = {{
    {MSG_CHAT, kTextMessageSize, MessageLayout::Text},
    {MSG_STATUS, kStatusMessageSize, MessageLayout::Status},
    {MSG_FIRE, kFireMessageSize, MessageLayout::Fire},
    {MSG_PROJECTILE_GONE, kTextMessageSize, MessageLayout::Text},
    {MSG_SET_HEALTH, kTextMessageSize, MessageLayout::Text},
    {MSG_EVENT, kTextMessageSize, MessageLayout::Text},
    {MSG_SCORE, kScoreMessageSize, MessageLayout::Score},
}};

// The table row of a type, or null for a type the game does not use.
const MessageTableRow* find_message_type(int32_t type);

struct MessageHeader {
  int32_t type = 0;
  int32_t valid = 1;  // a message with 0 here is rejected
  uint32_t sender = 0;
};

// Chat, event, projectile-gone and set-health messages.
struct TextMessage {
  MessageHeader header{};
  char text[kMessageTextSize] = {};  // always NUL-terminated once decoded
  int32_t value = 0;                 // projectile number or new health
};

// The sender's own tank.
struct StatusMessage {
  MessageHeader header{};
  float x = 0, y = 0, z = 0;
  float hull_heading = 0, turret_heading = 0, gun_pitch = 0;
  int32_t in_play = 0;
  int32_t health = 0;
  // Which life of the tank the status is of (0 before the first entry),
  // when has_life: a status of 44 bytes, from an older program, has none.
  bool has_life = false;
  uint32_t life = 0;
};

// One shot. On the wire hitscan comes before heading.
struct FireMessage {
  MessageHeader header{};
  int32_t number = kUnnumberedShot;  // -1 until the host numbers it, then 0..255
  float x = 0, y = 0, z = 0;
  float vx = 0, vy = 0, vz = 0;
  int32_t hitscan = 0;
  float heading = 0;
  uint32_t owner_id = 0;
};

// The host's score table: one row per seat, in the order of the player
// table; a row with player id 0 is empty. Only the host writes it.
struct ScoreMessage {
  MessageHeader header{};
  std::array<ScoreRow, kScoreRows> rows{};
};

std::array<uint8_t, kTextMessageSize> encode_message(const TextMessage& message);
// A status is kLifeStatusSize bytes when it has its life, else
// kStatusMessageSize: send the first encoded_size(message) bytes.
std::array<uint8_t, kLifeStatusSize> encode_message(const StatusMessage& message);
std::size_t encoded_size(const StatusMessage& message);
std::array<uint8_t, kFireMessageSize> encode_message(const FireMessage& message);
std::array<uint8_t, kScoreMessageSize> encode_message(const ScoreMessage& message);

// Decoders: false when the bytes are shorter than the layout (nothing is
// read past their end) or a field that indexes a table is out of range
// (a fire number outside -1..255, a projectile-gone number outside 0..255).
// Bytes beyond the layout's size are ignored. A text without a NUL within
// its 256 bytes is cut to 255 characters.
bool decode_header(std::span<const uint8_t> bytes, MessageHeader& header);
bool decode_message(std::span<const uint8_t> bytes, TextMessage& message);
bool decode_message(std::span<const uint8_t> bytes, StatusMessage& message);
bool decode_message(std::span<const uint8_t> bytes, FireMessage& message);
bool decode_message(std::span<const uint8_t> bytes, ScoreMessage& message);

// A player's request to fire that has waited longer than this for the host
// to take it (about eight frames at 85 a second; the host takes its
// messages every frame, and none while its window is inactive) is stale:
// the host drops it unnumbered, so that a host coming back does not fire
// every shot its players asked for meanwhile.
inline constexpr uint32_t kStaleFireRequestMs = 100;

// Frame stages: the local tank's status to the host (and on the host the
// score table, when it has changed), then every waiting message handled.
// Both do nothing unless networking is on and the game has been joined.
// Return 1.
int send_status(GameCore& game);
int receive_messages(GameCore& game);
int chat_entry_frame(GameCore& game);

// Host: the score of the table as it now stands, every seat in order.
ScoreMessage current_score_table(const GameCore& game);
// Host, every frame: reads the round trips when they are due (every
// kRoundTripRefreshMs) and sends the table to every player when it differs
// from the one last sent.
void send_score_table(GameCore& game);
// A client: the host's table; rows of players this program does not hold
// in its table are ignored.
void take_score_table(GameCore& game, const ScoreMessage& message);

// A message for the host: handled at once on the host, sent otherwise
// (a failed send is logged as "Status send failed."). Everything but a
// status goes guaranteed: a player's shots and chat lines must arrive.
// Returns 1.
int send_to_host(GameCore& game, std::span<const uint8_t> bytes, bool guaranteed = true);
// Host only: the message, unchanged, to every other player (a failed send
// is logged as "Status relay failed."). Everything is relayed guaranteed
// except statuses: a status is superseded by the next one a frame later, so
// a lost one is better skipped than waited for, and waiting for it would
// hold back every status after it.
void relay_to_all(GameCore& game, std::span<const uint8_t> bytes, bool guaranteed = true);

// Host, every frame: a player who has sent no status for
// kQuietStatusResendMs while the host's copy of its tank has changed since
// it last went out guaranteed (a status relayed unguaranteed may be lost,
// a hit changes the copy) has that copy relayed once more, guaranteed, so
// that every program sees the player as the host holds it however long it
// stays quiet.
inline constexpr double kQuietStatusResendMs = 100.0;
void resend_quiet_statuses(GameCore& game);

// Handles one game message as it arrived: from and to are the session's
// sender and receiver ids. Returns 1, or 0 for an invalid message (logged
// as "Found an invalid message."): too short for its type, a number outside
// its table, a position or heading that is no finite number, or, on the
// host, anything another player may not write: a sender other than itself,
// or a type other than its status, its chat lines and its own unnumbered
// shells (owner itself, hitscan 0). A score table is taken from the host
// only: the host refuses every one it is handed.
int handle_game_message(GameCore& game, std::span<const uint8_t> bytes, uint32_t from, uint32_t to);

// Handles one system message of the session layer. Their layouts, all
// little-endian: type (uint32) at 0; for DPSYS_CREATEPLAYERORGROUP and
// DPSYS_DESTROYPLAYERORGROUP the player id (uint32) at 4; for a creation
// the player's short name from 8 to the end of the message, NUL-terminated
// or ending with the message. A creation of a player already in the table
// renews its slot; a destruction of a player in no slot changes nothing
// (its creation was lost). Returns 1.
int handle_system_message(GameCore& game, std::span<const uint8_t> bytes);
