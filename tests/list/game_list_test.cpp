// The list's own rules, on a clock the tests set: what is refused and
// leaves the list as it was, how a game gets listed and leaves, and the
// document readers get.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <zlib.h>

#include "list/game_list.h"
#include "list/list_document.h"

using namespace list;

namespace {

constexpr uint32_t kHost = (203u << 24) | (113u << 8) | 5;  // 203.0.113.5

void keep_line(void* lines, const char* line) { static_cast<std::vector<std::string>*>(lines)->push_back(line); }

// Tokens 1, 2, 3... in their first byte: each game's own.
uint8_t g_next_token = 0;
void counted_token(Token& token) {
  token.fill(0xA5);
  token[0] = ++g_next_token;
}

struct ListTest : ::testing::Test {
  std::unique_ptr<GameList> list = make_game_list();
  std::vector<std::string> lines;
  void SetUp() override {
    list->make_token = counted_token;
    list->log = keep_line;
    list->log_context = &lines;
  }
};

std::string body(uint16_t port, const std::string& name = "Ann's game", int people = 1, int computers = 2) {
  return "{\"port\":" + std::to_string(port) + ",\"name\":\"" + name +
         "\",\"level\":\"default.mvl\",\"people\":" + std::to_string(people) +
         ",\"computers\":" + std::to_string(computers) + ",\"seats\":8,\"version\":\"1.0.0\"}";
}

std::string gunzip(const std::vector<uint8_t>& bytes) {
  z_stream stream{};
  EXPECT_EQ(inflateInit2(&stream, 15 + 16), Z_OK);
  std::string out(1 << 20, '\0');
  stream.next_in = const_cast<Bytef*>(bytes.data());
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(stream.total_out);
  inflateEnd(&stream);
  return out;
}

nlohmann::json games_of(GameList& list, double now_ms) {
  return nlohmann::json::parse(current_document(list, now_ms).json)["games"];
}

// Announces a game and echoes its proof from where it was sent.
void list_game(GameList& list, uint32_t address, uint16_t port, double now_ms) {
  const AnnounceResult result = announce(list, address, body(port), now_ms);
  ASSERT_EQ(result.status, 202);
  ASSERT_TRUE(take_echo(list, address, port, encode_echo(result.token), now_ms));
}

}  // namespace

TEST_F(ListTest, HostileAnnouncementsAreRefusedAndChangeNothing) {
  const std::string long_name(79, 'x');
  struct Case {
    std::string body;
    int status;
    const char* reason;  // a part of it
  } cases[] = {
      {"", 400, "not JSON"},
      {"{\"port\":24640,", 400, "not JSON"},
      {"\xff\xfe{}", 400, "not JSON"},
      {"{\"name\":\"\xc0\xaf\"}", 400, "not JSON"},  // an overlong '/'
      {"[24640]", 400, "not a JSON object"},
      {"\"port\"", 400, "not a JSON object"},
      {"{}", 400, "\"port\""},
      {body(80), 400, "\"port\""},
      {body(65535).replace(8, 5, "65536"), 400, "\"port\""},
      {"{\"port\":\"24640\"}", 400, "\"port\""},
      {"{\"port\":24640.5}", 400, "\"port\""},
      {"{\"port\":18446744073709551615}", 400, "\"port\""},
      {"{\"port\":-24640}", 400, "\"port\""},
      {body(24640, ""), 400, "\"name\""},
      {body(24640, long_name), 400, "\"name\""},
      {body(24640, "a\\u0007b"), 400, "\"name\""},
      {body(24640, "a\\u0000b"), 400, "\"name\""},
      {body(24640, "\xc2\x85"), 400, "\"name\""},  // a C1 control character
      {body(24640, "\\ud800"), 400, "not JSON"},    // a lone surrogate
      {std::string(body(24640)).replace(body(24640).find("default.mvl"), 11, "my level"), 400, "\"level\""},
      {std::string(body(24640)).replace(body(24640).find("\"version\":\"1.0.0\""), 17, "\"version\":1"), 400,
       "\"version\""},
      {std::string(body(24640)).replace(body(24640).find("\"seats\":8"), 9, "\"seats\":9"), 400, "\"seats\""},
      {std::string(body(24640)).replace(body(24640).find("\"seats\":8"), 9, "\"seats\":0"), 400, "\"seats\""},
      {body(24640, "x", 9, 0), 400, "\"people\""},
      {body(24640, "x", -1, 0), 400, "\"people\""},
      {body(24640, "x", 7, 2), 400, "\"computers\""},
      {body(24640).insert(1, "\"pad\":\"" + std::string(1024, ' ') + "\","), 413, "longer than 1024"},
  };
  const std::string empty_document = current_document(*list, 0).json;
  uint32_t address = kHost;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body.substr(0, 80));
    const AnnounceResult result = announce(*list, ++address, c.body, 0);
    EXPECT_EQ(result.outcome, Outcome::Refused);
    EXPECT_EQ(result.status, c.status);
    EXPECT_NE(std::string(result.reason).find(c.reason), std::string::npos) << result.reason;
    EXPECT_FALSE(result.send_proof);
    ASSERT_FALSE(lines.empty());
    char from[16];
    format_address(address, from, sizeof from);
    EXPECT_EQ(lines.back(), "refused " + std::string(from) + ": " + std::to_string(c.status) + " " + result.reason);
  }
  EXPECT_EQ(lines.size(), std::size(cases));
  EXPECT_EQ(list->game_count, 0);
  EXPECT_EQ(list->address_count, std::size(cases));
  EXPECT_EQ(current_document(*list, 5000).json, empty_document);

  EXPECT_EQ(announce(*list, 0, body(24640), 0).status, 403);
  EXPECT_EQ(list->address_count, std::size(cases));

  // Unknown fields are passed over, so that hosts can say more later.
  EXPECT_EQ(announce(*list, kHost, body(24640).insert(1, "\"mode\":\"teams\","), 0).status, 202);

  // One address: 20 announcements at once, then one a second.
  for (int i = 1; i < 20; ++i) EXPECT_EQ(announce(*list, kHost, body(24640), 0).status, 202) << i;
  EXPECT_EQ(announce(*list, kHost, body(24640), 0).status, 429);
  EXPECT_EQ(announce(*list, kHost, body(24641), 500).status, 429);
  EXPECT_EQ(announce(*list, kHost, body(24640), 1000).status, 202);
  EXPECT_EQ(list->game_count, 1);

  // Withdrawals are read as announcements are, and refused alike.
  const std::string padded = "{\"port\":24640,\"pad\":\"" + std::string(1024, ' ') + "\"}";
  const Case withdrawals[] = {
      {"", 400, "not JSON"},
      {"[24640]", 400, "not a JSON object"},
      {"{}", 400, "\"port\""},
      {"{\"port\":80}", 400, "\"port\""},
      {"{\"port\":65536}", 400, "\"port\""},
      {"{\"port\":\"24640\"}", 400, "\"port\""},
      {padded, 413, "longer than 1024"},
  };
  for (const Case& c : withdrawals) {
    SCOPED_TRACE("withdrawal " + c.body.substr(0, 80));
    const AnnounceResult result = withdraw(*list, ++address, c.body, 1000);
    EXPECT_EQ(result.outcome, Outcome::Refused);
    EXPECT_EQ(result.status, c.status);
    EXPECT_NE(std::string(result.reason).find(c.reason), std::string::npos) << result.reason;
  }
  // Only the connection's own address's game goes; another address's, a
  // port without a game and a spent allowance leave it where it is.
  const std::string withdrawal = "{\"port\":24640,\"why\":\"the round is over\"}";
  EXPECT_EQ(withdraw(*list, kHost + 1, withdrawal, 1000).status, 404);
  EXPECT_EQ(withdraw(*list, kHost, withdrawal, 1000).status, 429);
  EXPECT_EQ(withdraw(*list, kHost, "{\"port\":24641}", 2000).status, 404);
  EXPECT_EQ(withdraw(*list, 0, withdrawal, 2000).status, 404);
  EXPECT_EQ(list->game_count, 1);
  const AnnounceResult withdrawn = withdraw(*list, kHost, withdrawal, 3000);
  EXPECT_EQ(withdrawn.outcome, Outcome::Withdrawn);
  EXPECT_EQ(withdrawn.status, 200);
  EXPECT_EQ(list->game_count, 0);
  EXPECT_EQ(lines.back(), "withdrawn: 203.0.113.5:24640 \"Ann's game\"");
  EXPECT_EQ(withdraw(*list, kHost, withdrawal, 4000).status, 404);
  // Withdrawals spend the allowance announcements do.
  for (int i = 0; i < 20; ++i) EXPECT_EQ(withdraw(*list, kHost + 3000, withdrawal, 0).status, 404) << i;
  EXPECT_EQ(announce(*list, kHost + 3000, body(24640), 0).status, 429);

  // 16 games an address, 20000 in all.
  const uint32_t other = kHost + 1000;
  for (uint16_t port = 30000; port < 30016; ++port) EXPECT_EQ(announce(*list, other, body(port), 0).status, 202);
  EXPECT_EQ(announce(*list, other, body(30016), 0).status, 403);
  EXPECT_EQ(list->game_count, 16);
  fill_for_bench(*list, kMaxGames, 0);
  EXPECT_EQ(list->game_count, kMaxGames);
  EXPECT_EQ(announce(*list, kHost + 2000, body(24640), 0).status, 503);
}

TEST_F(ListTest, RefusalsAreLoggedAtMostOnceASecondPerAddress) {
  for (int i = 0; i < 50; ++i) announce(*list, kHost, "junk", i * 10.0);      // 0 to 490 ms
  announce(*list, kHost + 1, "junk", 100);                                      // another address: its own line
  announce(*list, kHost, "junk", 1500);                                         // over a second after the first line
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "refused 203.0.113.5: 400 the announcement is not JSON");
  EXPECT_EQ(lines[1], "refused 203.0.113.6: 400 the announcement is not JSON");
  EXPECT_EQ(lines[2],
            "refused 203.0.113.5: 400 the announcement is not JSON (50 refusals since the last line)");
}

TEST_F(ListTest, AGameIsListedOnceItsHostEchoesItsTokenAndLeavesAfterSixtySecondsOfSilence) {
  const AnnounceResult pending = announce(*list, kHost, body(24640), 0);
  EXPECT_EQ(pending.outcome, Outcome::Pending);
  EXPECT_EQ(pending.status, 202);
  ASSERT_TRUE(pending.send_proof);
  EXPECT_EQ(pending.address, kHost);
  EXPECT_EQ(pending.port, 24640);
  const auto proof = encode_proof(pending.token);
  EXPECT_EQ(std::string(proof.begin(), proof.begin() + 5), std::string("MRVP\x01"));
  EXPECT_TRUE(games_of(*list, 0).empty());

  // Announced again while pending: the same token again.
  EXPECT_EQ(announce(*list, kHost, body(24640), 100).token, pending.token);
  ASSERT_TRUE(take_echo(*list, kHost, 24640, encode_echo(pending.token), 2000));
  EXPECT_EQ(lines.back(), "listed: 203.0.113.5:24640 \"Ann's game\"");
  EXPECT_FALSE(take_echo(*list, kHost, 24640, encode_echo(pending.token), 2000)) << "listed twice";

  nlohmann::json games = games_of(*list, 2000);
  ASSERT_EQ(games.size(), 1u);
  EXPECT_EQ(games[0], nlohmann::json::parse(R"({"address":"203.0.113.5","port":24640,"name":"Ann's game",
      "level":"default.mvl","people":1,"computers":2,"seats":8,"version":"1.0.0","listed_seconds":0})"));

  // Announced again: listed at once, with what it says now.
  const AnnounceResult again = announce(*list, kHost, body(24640, "Ann's game", 3, 0), 30000);
  EXPECT_EQ(again.outcome, Outcome::Listed);
  EXPECT_EQ(again.status, 200);
  EXPECT_FALSE(again.send_proof);
  games = games_of(*list, 31000);
  EXPECT_EQ(games[0]["people"], 3);
  EXPECT_EQ(games[0]["listed_seconds"], 29);

  expire_games(*list, 30000 + 59999);
  EXPECT_EQ(list->listed_count, 1);
  expire_games(*list, 30000 + 60000);
  EXPECT_EQ(list->listed_count, 0);
  EXPECT_EQ(list->game_count, 0);
  EXPECT_EQ(lines.back(), "expired: 203.0.113.5:24640 \"Ann's game\", not announced for 60 s");
  EXPECT_TRUE(games_of(*list, 90000).empty());

  // A listed game withdrawn leaves the next document at once.
  list_game(*list, kHost, 24640, 95000);
  ASSERT_EQ(games_of(*list, 95000).size(), 1u);
  EXPECT_EQ(withdraw(*list, kHost, "{\"port\":24640}", 95000).status, 200);
  EXPECT_EQ(list->listed_count, 0);
  EXPECT_TRUE(games_of(*list, 96000).empty());

  // A game never proven leaves likewise, and its place among the address's
  // 16 with it.
  for (uint16_t port = 30000; port < 30016; ++port) announce(*list, kHost, body(port), 100000);
  EXPECT_EQ(announce(*list, kHost, body(30016), 100000).status, 403);
  expire_games(*list, 160000);
  EXPECT_EQ(list->game_count, 0);
  EXPECT_EQ(announce(*list, kHost, body(30016), 160000).status, 202);
}

TEST_F(ListTest, ForgedEchoesNeverListAGame) {
  const AnnounceResult ann = announce(*list, kHost, body(24640), 0);
  const AnnounceResult bob = announce(*list, kHost + 1, body(24640), 0);
  ASSERT_NE(ann.token, bob.token);
  Token wrong = ann.token;
  wrong[15] ^= 1;
  const auto echo = encode_echo(ann.token);
  const auto wrong_echo = encode_echo(wrong);
  const auto bob_echo = encode_echo(bob.token);
  std::vector<uint8_t> longer(echo.begin(), echo.end());
  longer.push_back(0);
  auto version_2 = echo;
  version_2[4] = 2;
  auto proof = encode_proof(ann.token);  // the proof sent back as it came
  const struct {
    const char* what;
    uint32_t address;
    uint16_t port;
    std::vector<uint8_t> bytes;
  } forgeries[] = {
      {"a wrong token", kHost, 24640, {wrong_echo.begin(), wrong_echo.end()}},
      {"another game's token", kHost, 24640, {bob_echo.begin(), bob_echo.end()}},
      {"from another address", kHost + 2, 24640, {echo.begin(), echo.end()}},
      {"from another port", kHost, 24641, {echo.begin(), echo.end()}},
      {"one byte longer", kHost, 24640, longer},
      {"one byte shorter", kHost, 24640, {echo.begin(), echo.end() - 1}},
      {"version 2", kHost, 24640, {version_2.begin(), version_2.end()}},
      {"the proof's magic", kHost, 24640, {proof.begin(), proof.end()}},
      {"nothing", kHost, 24640, {}},
  };
  for (const auto& forgery : forgeries) {
    EXPECT_FALSE(take_echo(*list, forgery.address, forgery.port, forgery.bytes, 0)) << forgery.what;
    EXPECT_EQ(list->listed_count, 0) << forgery.what;
  }
  EXPECT_TRUE(take_echo(*list, kHost, 24640, echo, 0));

  // The tokens the service makes itself are random, not a count.
  auto real = make_game_list();
  real->log = keep_line;
  real->log_context = &lines;
  EXPECT_NE(announce(*real, kHost, body(24640), 0).token, announce(*real, kHost, body(24641), 0).token);
}

TEST_F(ListTest, TheDocumentIsBuiltOncePerChangeAndCarriesItsGzipForm) {
  const ListDocument* document = &current_document(*list, 0);
  const uint64_t empty = document->generation;
  const std::string empty_tag = document->etag;
  EXPECT_EQ(current_document(*list, 60000).generation, empty) << "an empty list is rebuilt for nothing";

  list_game(*list, kHost, 24640, 60000);
  EXPECT_EQ(current_document(*list, 60000).generation, empty + 1);
  // At most once a second: the second game shows a second after the last build.
  list_game(*list, kHost, 24641, 60200);
  EXPECT_EQ(current_document(*list, 60999).generation, empty + 1);
  document = &current_document(*list, 61000);
  EXPECT_EQ(document->generation, empty + 2);
  EXPECT_NE(std::string(document->etag), empty_tag);
  EXPECT_EQ(gunzip(document->gzip), document->json);
  EXPECT_LT(document->gzip.size(), document->json.size());
  EXPECT_EQ(nlohmann::json::parse(document->json)["count"], 2);

  // Announcements that change nothing leave it as it is, until its ages are
  // 5 s behind.
  announce(*list, kHost, body(24640), 62000);
  EXPECT_EQ(current_document(*list, 65999).generation, empty + 2);
  EXPECT_EQ(current_document(*list, 66000).generation, empty + 3);
  EXPECT_EQ(games_of(*list, 66000)[0]["listed_seconds"], 6);

  // Names are JSON strings whatever they hold.
  announce(*list, kHost, body(24640, "\\\"Q\\\" \\\\ \xc3\xa9"), 67000);
  EXPECT_EQ(games_of(*list, 67000)[0]["name"], "\"Q\" \\ \xc3\xa9");
}

TEST(ListHeaders, GzipOnlyWhenAcceptedAndTheEntityTagMatchedAsHttpSays) {
  const struct {
    const char* header;
    bool gzip;
  } encodings[] = {
      {nullptr, false},        {"", false},         {"identity", false},     {"gzip", true},
      {"GZip", true},          {"x-gzip", true},    {"deflate, gzip;q=0.5", true}, {"br , gzip ", true},
      {"gzip;q=0", false},     {"gzip; q=0.000", false}, {"*", true},       {"*;q=0", false},
      {"gzip;q=0, *", false},  {"gzipx", false},    {"deflate", false},     {"identity, *;q=1", true},
  };
  for (const auto& e : encodings) EXPECT_EQ(accepts_gzip(e.header), e.gzip) << (e.header ? e.header : "(none)");

  const char* tag = "\"0000abcd-7\"";
  const struct {
    const char* header;
    bool match;
  } tags[] = {
      {nullptr, false},
      {"\"0000abcd-7\"", true},
      {"W/\"0000abcd-7\"", true},
      {"\"0000abcd-6\", \"0000abcd-7\"", true},
      {"*", true},
      {"\"0000abcd-70\"", false},
      {"0000abcd-7", false},
      {"\"0000abcd-6\"", false},
      {"", false},
  };
  for (const auto& t : tags) EXPECT_EQ(etag_matches(t.header, tag), t.match) << (t.header ? t.header : "(none)");
}
