// The service as hosts and readers meet it: HTTP on the loopback, the proof
// sent to a UDP socket standing for a host's game port and echoed from it.
// The service runs on a thread of its own, on a clock the test moves.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>
#include <zlib.h>

#include "list/list_service.h"

using namespace list;

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

std::atomic<double> g_now_ms{0};
double test_clock(void*) { return g_now_ms.load(); }

struct Reply {
  int status = 0;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
};

// One request on a connection of its own, sent in one piece or two (the
// second a moment later, so that the service reads them apart); the whole
// answer, read to the connection's end.
Reply http(uint16_t port, const std::string& request, const std::string& later = "") {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(kLoopback);
  to.sin_port = htons(port);
  EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
  EXPECT_EQ(send(fd, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
  if (!later.empty()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    send(fd, later.data(), later.size(), MSG_NOSIGNAL);
  }
  std::string answer;
  char buffer[65536];
  for (ssize_t got; (got = recv(fd, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, got);
  close(fd);
  Reply reply;
  const std::size_t end = answer.find("\r\n\r\n");
  if (end == std::string::npos) return reply;
  reply.body = answer.substr(end + 4);
  reply.status = std::stoi(answer.substr(9, 3));
  std::size_t at = answer.find("\r\n") + 2;
  while (at < end) {
    const std::size_t line_end = answer.find("\r\n", at);
    const std::string line = answer.substr(at, line_end - at);
    const std::size_t colon = line.find(':');
    std::string name = line.substr(0, colon);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    reply.headers[name] = line.substr(line.find_first_not_of(' ', colon + 1));
    at = line_end + 2;
  }
  return reply;
}

Reply get_games(uint16_t port, const std::string& headers = "") {
  return http(port, "GET /games HTTP/1.1\r\nHost: list\r\nConnection: close\r\n" + headers + "\r\n");
}

Reply post(uint16_t port, const std::string& path, const std::string& body) {
  return http(port, "POST " + path + " HTTP/1.1\r\nHost: list\r\nConnection: close\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\n\r\n" + body);
}

std::string gunzip(const std::string& bytes) {
  z_stream stream{};
  EXPECT_EQ(inflateInit2(&stream, 15 + 16), Z_OK);
  std::string out(1 << 20, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(stream.total_out);
  inflateEnd(&stream);
  return out;
}

// A UDP socket on the loopback standing for a host's game port.
struct GamePort {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  uint16_t port = 0;
  GamePort() {
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(kLoopback);
    socklen_t size = sizeof at;
    bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at);
    getsockname(fd, reinterpret_cast<sockaddr*>(&at), &size);
    port = ntohs(at.sin_port);
  }
  ~GamePort() { close(fd); }
  std::string receive() {
    pollfd waiting{fd, POLLIN, 0};
    if (poll(&waiting, 1, 2000) != 1) return "";
    char bytes[64];
    const ssize_t size = recv(fd, bytes, sizeof bytes, 0);
    return std::string(bytes, size > 0 ? size : 0);
  }
  void send_to(uint16_t to_port, const std::string& bytes) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(kLoopback);
    to.sin_port = htons(to_port);
    sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
};

std::string announcement(uint16_t port) {
  return "{\"port\":" + std::to_string(port) +
         ",\"name\":\"Ann's game\",\"level\":\"default.mvl\",\"people\":2,\"computers\":1,\"seats\":8,"
         "\"version\":\"1.0.0\"}";
}

struct ServiceTest : ::testing::Test {
  std::unique_ptr<ListService, void (*)(ListService*)> service{nullptr, nullptr};
  std::atomic<bool> stop{false};
  std::thread thread;
  uint16_t http_port = 0, proof_port = 0;

  void SetUp() override {
    g_now_ms = 1000000;
    ServiceConfig config;
    config.listen_address = kLoopback;
    config.http_port = 0;
    config.proof_port = 0;
    config.clock = test_clock;
    auto list = make_game_list();
    list->log = [](void*, const char*) {};
    char error[128];
    service = open_service(config, std::move(list), error, sizeof error);
    ASSERT_TRUE(service) << error;
    http_port = http_port_of(*service);
    proof_port = proof_port_of(*service);
    thread = std::thread([this] {
      while (!stop) serve_once(*service, 20);
    });
  }
  void TearDown() override {
    stop = true;
    if (thread.joinable()) thread.join();
  }
  // Lets the service's loop see the clock moved.
  void advance(double ms) {
    g_now_ms = g_now_ms + ms;
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
  }
};

}  // namespace

TEST_F(ServiceTest, AHostAnnouncesEchoesItsProofAndIsReadWithAndWithoutGzip) {
  Reply empty = get_games(http_port);
  EXPECT_EQ(empty.status, 200);
  EXPECT_EQ(nlohmann::json::parse(empty.body)["games"].size(), 0u);

  GamePort game, forger;
  Reply answer = post(http_port, "/announce", announcement(game.port));
  EXPECT_EQ(answer.status, 202);
  EXPECT_EQ(answer.headers["content-type"], "application/json");
  nlohmann::json said = nlohmann::json::parse(answer.body);
  EXPECT_EQ(said["status"], "pending");
  EXPECT_EQ(said["address"], "127.0.0.1");
  EXPECT_EQ(said["port"], game.port);
  EXPECT_EQ(said["announce_every"], 20);
  EXPECT_EQ(said["proof_port"], proof_port);

  const std::string proof = game.receive();
  ASSERT_EQ(proof.size(), 21u);
  EXPECT_EQ(proof.substr(0, 5), std::string("MRVP\x01"));
  std::string echo = "MRVE" + proof.substr(4);
  forger.send_to(proof_port, echo);  // the right token from another port
  advance(1000);
  EXPECT_EQ(nlohmann::json::parse(get_games(http_port).body)["count"], 0);
  game.send_to(proof_port, echo);
  advance(1000);

  Reply plain = get_games(http_port);
  EXPECT_EQ(plain.status, 200);
  EXPECT_EQ(plain.headers["cache-control"], "public, max-age=5");
  EXPECT_EQ(plain.headers["vary"], "Accept-Encoding");
  EXPECT_EQ(plain.headers.count("content-encoding"), 0u);
  const nlohmann::json games = nlohmann::json::parse(plain.body)["games"];
  ASSERT_EQ(games.size(), 1u);
  EXPECT_EQ(games[0]["address"], "127.0.0.1");
  EXPECT_EQ(games[0]["port"], game.port);
  EXPECT_EQ(games[0]["computers"], 1);

  Reply gzip = get_games(http_port, "Accept-Encoding: deflate, gzip\r\n");
  EXPECT_EQ(gzip.status, 200);
  EXPECT_EQ(gzip.headers["content-encoding"], "gzip");
  EXPECT_EQ(gzip.headers["etag"], plain.headers["etag"]);
  EXPECT_EQ(gunzip(gzip.body), plain.body);

  // The reader's copy is current: 304 and no body, with the same headers
  // for caches.
  Reply unchanged = get_games(http_port, "If-None-Match: " + plain.headers["etag"] + "\r\n");
  EXPECT_EQ(unchanged.status, 304);
  EXPECT_TRUE(unchanged.body.empty());
  EXPECT_EQ(unchanged.headers["etag"], plain.headers["etag"]);
  EXPECT_EQ(unchanged.headers["cache-control"], "public, max-age=5");

  // Announced again: listed at once, 200.
  answer = post(http_port, "/announce", announcement(game.port));
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(nlohmann::json::parse(answer.body)["status"], "listed");

  // A minute of silence: gone, and a reader's old copy is no longer current.
  advance(60000);
  Reply after = get_games(http_port, "If-None-Match: " + plain.headers["etag"] + "\r\n");
  EXPECT_EQ(after.status, 200);
  EXPECT_EQ(nlohmann::json::parse(after.body)["count"], 0);

  // Listed again, then withdrawn: gone from the next document.
  EXPECT_EQ(post(http_port, "/announce", announcement(game.port)).status, 202);
  game.send_to(proof_port, "MRVE" + game.receive().substr(4));
  advance(1000);
  ASSERT_EQ(nlohmann::json::parse(get_games(http_port).body)["count"], 1);
  answer = post(http_port, "/withdraw", "{\"port\":" + std::to_string(game.port) + "}");
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.headers["cache-control"], "no-store");
  said = nlohmann::json::parse(answer.body);
  EXPECT_EQ(said["status"], "withdrawn");
  EXPECT_EQ(said["port"], game.port);
  advance(1000);
  EXPECT_EQ(nlohmann::json::parse(get_games(http_port).body)["count"], 0);
  EXPECT_EQ(post(http_port, "/withdraw", "{\"port\":" + std::to_string(game.port) + "}").status, 404);
}

TEST_F(ServiceTest, RequestsOutsideTheProtocolAreRefusedWithAReason) {
  Reply too_long = post(http_port, "/announce", std::string(2000, ' '));
  EXPECT_EQ(too_long.status, 413);
  EXPECT_EQ(nlohmann::json::parse(too_long.body)["error"], "the announcement is longer than 1024 bytes");
  // Without a length, chunk by chunk, the last arriving apart.
  Reply chunked = http(http_port,
                       "POST /announce HTTP/1.1\r\nHost: list\r\nConnection: close\r\n"
                       "Transfer-Encoding: chunked\r\n\r\n3e8\r\n" +
                           std::string(1000, ' ') + "\r\n",
                       "64\r\n" + std::string(100, ' ') + "\r\n0\r\n\r\n");
  EXPECT_EQ(chunked.status, 413);
  Reply bad = post(http_port, "/announce", "{\"port\":1}");
  EXPECT_EQ(bad.status, 400);
  EXPECT_NE(nlohmann::json::parse(bad.body)["error"].get<std::string>().find("\"port\""), std::string::npos);
  Reply get_announce = http(http_port, "GET /announce HTTP/1.1\r\nHost: list\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(get_announce.status, 405);
  EXPECT_EQ(get_announce.headers["allow"], "POST");
  EXPECT_EQ(post(http_port, "/games", "{}").status, 405);
  Reply get_withdraw = http(http_port, "GET /withdraw HTTP/1.1\r\nHost: list\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(get_withdraw.status, 405);
  EXPECT_EQ(get_withdraw.headers["allow"], "POST");
  Reply long_withdrawal = post(http_port, "/withdraw", std::string(2000, ' '));
  EXPECT_EQ(long_withdrawal.status, 413);
  EXPECT_EQ(nlohmann::json::parse(long_withdrawal.body)["error"], "the withdrawal is longer than 1024 bytes");
  EXPECT_EQ(post(http_port, "/withdraw", "{\"port\":1}").status, 400);
  EXPECT_EQ(http(http_port, "GET /other HTTP/1.1\r\nHost: list\r\nConnection: close\r\n\r\n").status, 404);
  EXPECT_EQ(game_list_of(*service).game_count, 0);
}
