// Announcing a hosted game to public lists of games over HTTP, without ever
// making the caller wait on the network: every announcement runs in the
// background (libcurl's multi interface), driven a step at a time from the
// host's frame loop. Each list is announced to on its own schedule: every
// `announce_every` seconds its answers ask for while it answers, and after
// 20, 40, 80... seconds up to ten minutes while it cannot be reached or
// refuses. What a list says is told once per change, as a line for the
// host's log.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/public_lists.h"

namespace platform {

inline constexpr double kDefaultAnnounceSeconds = 20;
inline constexpr double kMaxBackOffSeconds = 600;

// What a game tells the lists about itself.
struct GameAnnouncement {
  uint16_t port = 0;  // the game port
  char name[80] = {};
  char level[64] = {};  // printable ASCII without spaces
  int32_t people = 0;
  int32_t computers = 0;
  int32_t seats = 0;
  char version[16] = {};  // printable ASCII without spaces
};

enum class ListState {
  Waiting,      // not announced to yet, or its first answer still awaited
  Pending,      // its proof has not come back yet
  Listed,
  Refused,      // it answered with a refusal
  Unreachable,  // no answer, or not one a list gives
};

// A line for the log, without its end of line.
using AnnouncerLog = void (*)(void* context, const char* line);

struct ListAnnouncer;

// An announcer for the lists at `addresses` ("host:port"; at most kMaxLists
// are kept). Null when the HTTP library cannot be started.
ListAnnouncer* create_list_announcer(const char* const* addresses, std::size_t count, AnnouncerLog log,
                                     void* log_context);
void release_list_announcer(ListAnnouncer* announcer);

// One step, at now_ms on the caller's steady clock: takes the answers that
// have come, starts the announcements that are due with `game`, and
// returns at once.
void drive_list_announcer(ListAnnouncer& announcer, const GameAnnouncement& game, double now_ms);

// Asks every list that may hold the game (listed, awaiting its proof, or
// with an announcement on its way) to withdraw it, at the port its last
// announcement named, all at once, and waits for their answers at most
// timeout_ms in all: for a host that is stopping. Says for each list
// whether it withdrew the game or why not. Announcements on their way are
// abandoned and none is sent after. The number of lists that withdrew it.
std::size_t withdraw_from_lists(ListAnnouncer& announcer, double timeout_ms);

// What the list at `index` said last, and when it is next announced to
// (on the caller's clock).
ListState list_state(const ListAnnouncer& announcer, std::size_t index);
double next_announcement_ms(const ListAnnouncer& announcer, std::size_t index);
std::size_t list_count(const ListAnnouncer& announcer);

// The body of an announcement: the JSON object the lists read. Its length,
// or 0 when it does not fit.
std::size_t announcement_body(const GameAnnouncement& game, char* body, std::size_t size);

}  // namespace platform
