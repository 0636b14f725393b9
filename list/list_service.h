// The list service on the network: HTTP (libmicrohttpd) for readers,
// announcements and withdrawals, and the UDP proof port, all served from
// one thread by one loop, so the list needs no lock.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "list/game_list.h"

namespace list {

inline constexpr uint16_t kDefaultHttpPort = 24680;
inline constexpr uint16_t kDefaultProofPort = 24681;

// Milliseconds on a steady clock; tests put one of their own.
using ServiceClock = double (*)(void* context);
double steady_ms(void* context);

struct ServiceConfig {
  uint32_t listen_address = 0;  // IPv4, host byte order; 0: every interface
  uint16_t http_port = kDefaultHttpPort;  // 0: any free port (tests)
  uint16_t proof_port = kDefaultProofPort;  // 0: any free port (tests)
  ServiceClock clock = steady_ms;
  void* clock_context = nullptr;
};

struct ListService;

// Opens both ports around the list. Null with the reason in error when a
// port cannot be opened.
std::unique_ptr<ListService, void (*)(ListService*)> open_service(const ServiceConfig& config,
                                                                  std::unique_ptr<GameList> list, char* error,
                                                                  std::size_t error_size);
GameList& game_list_of(ListService& service);
uint16_t http_port_of(const ListService& service);
uint16_t proof_port_of(const ListService& service);

// Serves requests and datagrams for up to timeout_ms, and drops the games
// whose time is up.
void serve_once(ListService& service, int timeout_ms);
// Serves until *stop becomes nonzero (a signal handler sets it).
void serve_until(ListService& service, const volatile std::sig_atomic_t* stop);

}  // namespace list
