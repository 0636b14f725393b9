// What the public list of games reads from the internet: announcement and
// withdrawal bodies over HTTP and echo datagrams on its proof port. Each
// input is a run of records, each a kind byte, a length byte and that many
// bytes. The kind byte's low two bits say what the bytes are: 0 an
// announcement (a withdrawal when the kind byte's bit 4 is set), 1 a
// datagram from the game port last announced, 2 and 3 a move of the clock
// by the first byte in seconds; its next two bits choose one of four
// addresses. After every record the list's counts must agree with its
// table, and the document must be JSON that lists exactly the listed games.
#include <cstring>
#include <string_view>

#include <nlohmann/json.hpp>

#include "list/game_list.h"
#include "list/list_document.h"
#include "tests/fuzz/fuzz_support.h"

using namespace list;

namespace {

constexpr uint32_t kAddresses[4] = {0xCB007105, 0xCB007106, 0x7F000001, 0x0A000001};

// Tokens the fuzzer can echo: all zero but for a count in the first byte.
uint8_t g_tokens = 0;
void counted_token(Token& token) {
  token.fill(0);
  token[0] = ++g_tokens;
}

void no_log(void*, const char*) {}

void check_list(GameList& list, double now_ms) {
  int32_t in_use = 0, listed = 0;
  for (const GameEntry& game : list.games) {
    if (!game.in_use) continue;
    ++in_use;
    listed += game.listed;
    fuzz_require(std::memchr(game.details.name, 0, sizeof game.details.name) != nullptr, "a name is terminated");
    fuzz_require(clean_utf8(game.details.name), "a listed name is clean UTF-8");
    fuzz_require(game.details.people + game.details.computers <= game.details.seats, "players fit the seats");
  }
  fuzz_require(in_use == list.game_count && listed == list.listed_count, "the counts agree with the table");
  for (const AddressEntry& entry : list.addresses)
    fuzz_require(entry.games <= kMaxGamesPerAddress, "at most 16 games an address");
  // Built now, whatever the once-a-second rule would say.
  list.document.built_ms = -1e300;
  const auto document = nlohmann::json::parse(current_document(list, now_ms).json, nullptr, false);
  fuzz_require(!document.is_discarded(), "the document is JSON");
  fuzz_require(document["games"].size() == static_cast<std::size_t>(listed), "the document lists the listed games");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static std::unique_ptr<GameList> list;
  list = make_game_list();
  list->make_token = counted_token;
  list->log = no_log;
  g_tokens = 0;
  double now_ms = 0;
  uint16_t ports[4] = {24640, 24640, 24640, 24640};
  std::size_t pos = 0;
  while (pos + 2 <= size) {
    const uint8_t kind = data[pos] & 3;  // 3 moves the clock too
    const uint8_t which = (data[pos] >> 2) & 3;
    const bool withdrawal = (data[pos] & 16) != 0;
    const std::size_t length = std::min<std::size_t>(data[pos + 1], size - pos - 2);
    const std::span<const uint8_t> bytes(data + pos + 2, length);
    pos += 2 + length;
    const std::string_view body(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (kind == 0 && withdrawal) {
      const int32_t games = list->game_count;
      const AnnounceResult result = withdraw(*list, kAddresses[which], body, now_ms);
      fuzz_require(list->game_count == games - (result.outcome == Outcome::Withdrawn), "a withdrawal takes one game");
    } else if (kind == 0) {
      const AnnounceResult result = announce(*list, kAddresses[which], body, now_ms);
      if (result.send_proof) ports[which] = result.port;
    } else if (kind == 1) {
      take_echo(*list, kAddresses[which], ports[which], bytes, now_ms);
    } else {
      now_ms += (bytes.empty() ? 1 : bytes[0]) * 1000.0;
      expire_games(*list, now_ms);
    }
    check_list(*list, now_ms);
  }
  return 0;
}

namespace {

void put_record(FuzzInput& out, uint8_t kind, const FuzzInput& bytes) {
  out.push_back(kind);
  out.push_back(static_cast<uint8_t>(bytes.size()));
  out.insert(out.end(), bytes.begin(), bytes.end());
}

FuzzInput echo_of(uint8_t count) {
  Token token{};
  token[0] = count;
  const auto echo = encode_echo(token);
  return FuzzInput(echo.begin(), echo.end());
}

}  // namespace

std::vector<FuzzSeed> fuzz_seeds() {
  const std::string ann =
      R"({"port":24640,"name":"Ann's game","level":"default.mvl","people":1,"computers":2,"seats":8,"version":"1.0.0"})";
  const std::string bob =
      R"({"port":30000,"name":"Bob \u00e9","level":"x.mvl","people":0,"computers":0,"seats":1,"version":"2"})";
  FuzzInput listed, expiring;
  put_record(listed, 0, bytes_of(ann));                 // address 0, token 1
  put_record(listed, 1, echo_of(1));                    // listed
  put_record(listed, 0 | (1 << 2), bytes_of(bob));      // address 1, token 2
  put_record(listed, 1 | (1 << 2), echo_of(2));         // listed
  put_record(listed, 0, bytes_of("{\"port\":1}"));      // refused
  expiring = listed;
  put_record(expiring, 2, {30});
  put_record(expiring, 0, bytes_of(ann));               // announced again
  put_record(expiring, 2, {40});                        // Bob's game leaves
  FuzzInput withdrawn = listed;
  put_record(withdrawn, 16 | (1 << 2), bytes_of("{\"port\":24640}"));  // not Bob's port: refused
  put_record(withdrawn, 16 | (1 << 2), bytes_of("{\"port\":30000}"));  // Bob's game leaves
  put_record(withdrawn, 16, bytes_of("{\"port\":"));                   // refused
  return {{"listed", listed}, {"expiring", expiring}, {"withdrawn", withdrawn}};
}
