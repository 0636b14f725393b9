// Opening the host's game port on the home router: a UDP mapping asked of
// the router by NAT-PMP and, when nothing answers that, by UPnP IGD, kept
// renewed before it expires and removed when the game ends.
//
// Finding the router takes seconds, so the requests run on a thread owned by
// the service; the game's frames only look for the outcome, a sentence for
// the player or the operator, with take_port_mapping_news.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// How long a mapping is asked for; it is renewed at half its life.
inline constexpr uint32_t kMappingLifetimeS = 3600;
// A renewal the router did not grant is tried again this often while the
// mapping still lives; once it has expired the routers are asked afresh.
inline constexpr uint32_t kRenewalRetryS = 60;
inline constexpr std::size_t kMappingTextSize = 256;

// What a router said to a request for a mapping.
struct RouterAnswer {
  enum class Kind { Mapped, NoAnswer, Refused };
  Kind kind = Kind::NoAnswer;
  uint16_t external_port = 0;
  uint32_t lifetime_s = 0;        // 0: until removed
  char external_address[64] = {};  // the router's address on the internet
  char reason[96] = {};            // why it refused
};

// One way of asking a router: the real NAT-PMP and UPnP clients, or a test's
// fake. map asks for internal_port to be reachable as external_port (the
// router may give another) for lifetime_s seconds (0: for good).
struct RouterCalls {
  const char* name = "";  // "NAT-PMP", "UPnP"
  void* context = nullptr;
  RouterAnswer (*map)(void* context, uint16_t internal_port, uint16_t external_port,
                      uint32_t lifetime_s) = nullptr;
  void (*unmap)(void* context, uint16_t internal_port, uint16_t external_port) = nullptr;
};

inline constexpr int kMaxRouterProtocols = 2;

// The mapping's life, apart from threads and clocks: each step does what is
// due at now_s (seconds on any steady clock) and says when the next is due.
struct PortMapper {
  enum class State { Asking, Mapped, Closed, Removed };
  State state = State::Asking;
  uint16_t port = 0;
  RouterCalls routers[kMaxRouterProtocols];
  int router_count = 0;
  int mapped_by = -1;  // index into routers while Mapped
  uint16_t external_port = 0;
  char external_address[64] = {};
  double renew_at_s = 0;
  double expires_at_s = 0;  // 0: never
  // The newest outcome in one sentence, and whether the caller has not
  // taken it yet. A renewal that changes nothing makes no news.
  char outcome[kMappingTextSize] = {};
  bool news = false;
};

inline constexpr double kNeverS = 1e300;

void start_mapper(PortMapper& mapper, uint16_t port, const RouterCalls* routers, int router_count);
// Returns the time of the next step, kNeverS when nothing more is due.
double step_mapper(PortMapper& mapper, double now_s);
// Removes the mapping from the router that gave it; the mapper is done.
void end_mapper(PortMapper& mapper);

struct PortMapping;  // opaque: the mapper on its own thread

// Starts asking the routers for the UDP port; null when no thread can be
// started. The real NAT-PMP and UPnP clients.
PortMapping* start_port_mapping(uint16_t port);
// The same with other routers (a test's fakes); routers must outlive it.
PortMapping* start_port_mapping_with(uint16_t port, const RouterCalls* routers, int router_count);
// Copies the outcome into text once each time it changes: true when there
// was news since the last call.
bool take_port_mapping_news(PortMapping* mapping, char* text, std::size_t size);
// Where the internet reaches the game while the router holds the mapping:
// true with the router's public address and the port outside (which may
// differ from the game port); false while asking, and when no router did.
bool port_mapping_outside(PortMapping* mapping, char* address, std::size_t size, uint16_t& port);
// Removes the mapping from the router, ends the thread and frees everything;
// null does nothing. Waits for a request under way (a few seconds at most).
void stop_port_mapping(PortMapping* mapping);

}  // namespace platform
