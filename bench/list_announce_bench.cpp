// Announcements to the public list as fast as it takes them: each from a
// loopback address of its own (127.0.0.2 upwards, the games that
// morvane-list --bench-fill lists), on a connection of its own, from a few
// threads at once. Prints the announcements a second and how they were
// answered.
//
// usage: morvane_bench_list_announce HTTP_PORT COUNT [THREADS]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// One announcement from `address`; the HTTP status, or 0 when it failed.
int announce_from(uint32_t address, uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in from{};
  from.sin_family = AF_INET;
  from.sin_addr.s_addr = htonl(address);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(0x7F000001);
  to.sin_port = htons(port);
  int status = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0 &&
      connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
    const std::string body =
        "{\"port\":24640,\"name\":\"Bench game\",\"level\":\"default.mvl\",\"people\":3,\"computers\":1,"
        "\"seats\":8,\"version\":\"1.0.0\"}";
    const std::string request = "POST /announce HTTP/1.1\r\nHost: list\r\nConnection: close\r\n"
                                "Content-Type: application/json\r\nContent-Length: " +
                                std::to_string(body.size()) + "\r\n\r\n" + body;
    char answer[1024];
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
      const ssize_t got = recv(fd, answer, sizeof answer - 1, MSG_WAITALL);
      if (got > 12) status = std::atoi(answer + 9);
    }
  }
  close(fd);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s HTTP_PORT COUNT [THREADS]\n", argv[0]);
    return 2;
  }
  const auto port = static_cast<uint16_t>(std::atoi(argv[1]));
  const int count = std::atoi(argv[2]);
  const int threads = argc > 3 ? std::atoi(argv[3]) : 4;
  std::atomic<int> next{0}, listed{0}, other{0};
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t)
    workers.emplace_back([&] {
      for (int i; (i = next++) < count;) {
        const int status = announce_from((127u << 24) + 2 + static_cast<uint32_t>(i), port);
        (status == 200 ? listed : other)++;
      }
    });
  for (std::thread& worker : workers) worker.join();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%d announcements in %.2f s: %.0f a second (%d answered 200 listed, %d otherwise)\n", count, seconds,
              count / seconds, listed.load(), other.load());
  return other == 0 ? 0 : 1;
}
