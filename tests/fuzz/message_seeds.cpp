#include "tests/fuzz/message_seeds.h"

#include <cstdio>
#include <cstring>

#include "net/protocol.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

template <std::size_t N>
FuzzInput bytes_of(const std::array<uint8_t, N>& message) {
  return FuzzInput(message.begin(), message.end());
}

TextMessage text_message(int32_t type, const char* text, int32_t value) {
  TextMessage message;
  message.header = MessageHeader{type, 1, 2};
  std::snprintf(message.text, sizeof message.text, "%s", text);
  message.value = value;
  return message;
}

}  // namespace

std::vector<FuzzSeed> game_message_seeds() {
  StatusMessage status;
  status.header = MessageHeader{MSG_STATUS, 1, 2};
  status.x = 3.5f, status.y = 1.0f, status.z = -7.25f;
  status.hull_heading = 90, status.turret_heading = 45, status.gun_pitch = -10;
  status.in_play = 1, status.health = 50;
  FireMessage fire;
  fire.header = MessageHeader{MSG_FIRE, 1, 2};
  fire.x = 1, fire.y = 1.5f, fire.z = 2;
  fire.vx = 0.5f, fire.vz = 0.25f, fire.heading = 30, fire.owner_id = 2;
  FireMessage numbered = fire;
  numbered.number = 17;
  ScoreMessage score;
  score.header = MessageHeader{MSG_SCORE, 1, 1};
  score.rows[0] = {1, 3, 1, 0};
  score.rows[1] = {2, 0, 4, 35};
  score.rows[3] = {99, -1, 7, 0xFFFFFFFFu};  // a player nobody knows, with odd counts
  TextMessage invalid = text_message(MSG_CHAT, "bad", 0);
  invalid.header.valid = 0;
  return {
      {"chat", bytes_of(encode_message(text_message(MSG_CHAT, "hello from the client", 0)))},
      {"event", bytes_of(encode_message(text_message(MSG_EVENT, "Client was mashed by Host", 0)))},
      {"projectile_gone", bytes_of(encode_message(text_message(MSG_PROJECTILE_GONE, "", 17)))},
      {"set_health", bytes_of(encode_message(text_message(MSG_SET_HEALTH, "", -20)))},
      {"status", bytes_of(encode_message(status))},
      {"fire", bytes_of(encode_message(fire))},
      {"fire_numbered", bytes_of(encode_message(numbered))},
      {"score", bytes_of(encode_message(score))},
      {"invalid", bytes_of(encode_message(invalid))},
      {"unknown_type", bytes_of(encode_message(text_message(42, "?", 0)))},
  };
}

std::vector<FuzzSeed> system_message_seeds() {
  FuzzInput joined, left, host_gone, lost, unknown;
  put_u32(joined, DPSYS_CREATEPLAYERORGROUP);
  put_u32(joined, 3);
  put_text(joined, "Newcomer");
  joined.push_back(0);
  put_u32(left, DPSYS_DESTROYPLAYERORGROUP);
  put_u32(left, 2);
  put_u32(host_gone, DPSYS_HOST);
  put_u32(lost, DPSYS_SESSIONLOST);
  put_u32(unknown, 0x21);
  return {{"joined", joined}, {"left", left}, {"host_gone", host_gone}, {"session_lost", lost},
          {"unknown", unknown}};
}

void fuzz_one_game_message(bool host, const uint8_t* data, std::size_t size) {
  auto game = make_session_game(host);
  // A host hears from its client (id 2); a client only from the host.
  const uint32_t from = host ? 2 : DPID_SERVERPLAYER;
  const int status = handle_game_message(*game, {data, size}, from, game->world.tank.local_player_id);
  if (status == 0)
    fuzz_require(std::strcmp(game->log.entries[0].text, "Found an invalid message.") == 0,
                 "a refused message is logged as invalid");
  check_game(*game);
}
