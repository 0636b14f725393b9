#include "platform/list_announcer.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

namespace platform {

namespace {

// The lists answer in a few hundred bytes; a longer answer is not a list's.
constexpr std::size_t kAnswerSize = 2048;
constexpr std::size_t kBodySize = 1024;  // the most a list takes
// How long one announcement may take in all, and its connection.
constexpr long kTransferTimeoutMs = 15000;
constexpr long kConnectTimeoutMs = 10000;
// A list that keeps its game pending this many answers in a row has not
// had the game port's echo: the port is not reachable from the internet.
constexpr int kPendingAnswersBeforeWarning = 3;
// What a list may ask for as its interval, in seconds; outside this range
// the default is kept.
constexpr double kShortestInterval = 1;
constexpr double kLongestInterval = 3600;

struct ListEntry {
  char address[kListAddressSize] = {};
  char url[kListAddressSize + 32] = {};
  CURL* easy = nullptr;
  bool busy = false;  // an announcement is on its way
  double next_ms = 0;
  double interval_s = kDefaultAnnounceSeconds;
  double back_off_s = 0;  // 0 while the list answers
  ListState state = ListState::Waiting;
  int pending_answers = 0;
  uint16_t game_port = 0;  // of the last announcement
  bool withdrawing = false;  // its withdrawal is on its way
  bool told_unreachable_port = false;
  char told[160] = {};  // the refusal or failure last written to the log
  char body[kBodySize + 1] = {};
  char answer[kAnswerSize] = {};
  std::size_t answer_size = 0;
  bool answer_cut = false;
};

std::size_t keep_answer(char* data, std::size_t size, std::size_t count, void* context) {
  auto& entry = *static_cast<ListEntry*>(context);
  const std::size_t bytes = size * count;
  const std::size_t room = sizeof entry.answer - entry.answer_size;
  const std::size_t kept = std::min(bytes, room);
  std::memcpy(entry.answer + entry.answer_size, data, kept);
  entry.answer_size += kept;
  if (kept < bytes) entry.answer_cut = true;
  return bytes;  // the rest is read and dropped, so the connection ends cleanly
}

}  // namespace

struct ListAnnouncer {
  CURLM* multi = nullptr;
  curl_slist* headers = nullptr;
  std::array<ListEntry, kMaxLists> lists{};
  std::size_t count = 0;
  AnnouncerLog log = nullptr;
  void* log_context = nullptr;
};

namespace {

void say(ListAnnouncer& a, const char* line) {
  if (a.log) a.log(a.log_context, line);
}

// A text that may come from a list, fit for one log line: printable ASCII,
// the rest as '?'.
void printable_copy(char* out, std::size_t size, const char* text) {
  std::size_t i = 0;
  for (; text[i] && i + 1 < size; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    out[i] = c >= 32 && c < 127 ? static_cast<char>(c) : '?';
  }
  out[i] = '\0';
}

void schedule_back_off(ListEntry& entry, double now_ms) {
  entry.back_off_s = entry.back_off_s == 0 ? kDefaultAnnounceSeconds
                                           : std::min(entry.back_off_s * 2, kMaxBackOffSeconds);
  entry.next_ms = now_ms + entry.back_off_s * 1000;
}

// A list that cannot be reached, or whose answer is not a list's: said once
// for every change of reason, tried again after longer and longer waits.
void unreachable(ListAnnouncer& a, ListEntry& entry, const char* reason, double now_ms) {
  schedule_back_off(entry, now_ms);
  entry.state = ListState::Unreachable;
  entry.pending_answers = 0;
  char told[sizeof entry.told];
  std::snprintf(told, sizeof told, "unreachable: %s", reason);
  if (std::strcmp(told, entry.told) == 0) return;
  std::snprintf(entry.told, sizeof entry.told, "%s", told);
  char line[512];
  std::snprintf(line, sizeof line,
                "the list at %s cannot be reached (%s); trying again after longer and longer waits, up to %u s",
                entry.address, reason, static_cast<unsigned>(kMaxBackOffSeconds));
  say(a, line);
}

void take_answer(ListAnnouncer& a, ListEntry& entry, CURLcode result, double now_ms) {
  entry.busy = false;
  if (result != CURLE_OK) return unreachable(a, entry, curl_easy_strerror(result), now_ms);
  long status = 0;
  curl_easy_getinfo(entry.easy, CURLINFO_RESPONSE_CODE, &status);
  const nlohmann::json said =
      entry.answer_cut ? nlohmann::json() : nlohmann::json::parse(entry.answer, entry.answer + entry.answer_size,
                                                                 nullptr, false);
  if (!said.is_object()) return unreachable(a, entry, "its answer is not a list's", now_ms);

  if (status == 200 || status == 202) {
    const auto every = said.find("announce_every");
    entry.interval_s = kDefaultAnnounceSeconds;
    if (every != said.end() && every->is_number()) {
      const double seconds = every->get<double>();
      if (seconds >= kShortestInterval && seconds <= kLongestInterval) entry.interval_s = seconds;
    }
    entry.next_ms = now_ms + entry.interval_s * 1000;
    entry.back_off_s = 0;
    entry.told[0] = '\0';
    const auto word = said.find("status");
    const bool listed = status == 200 && word != said.end() && *word == "listed";
    if (listed) {
      if (entry.state != ListState::Listed) {
        char line[320];
        std::snprintf(line, sizeof line, "the list at %s lists the game", entry.address);
        say(a, line);
      }
      entry.state = ListState::Listed;
      entry.pending_answers = 0;
      entry.told_unreachable_port = false;
      return;
    }
    if (entry.state != ListState::Pending) entry.pending_answers = 0;
    entry.state = ListState::Pending;
    if (++entry.pending_answers >= kPendingAnswersBeforeWarning && !entry.told_unreachable_port) {
      entry.told_unreachable_port = true;
      char line[400];
      std::snprintf(line, sizeof line,
                    "the list at %s has not seen the proof: UDP port %u does not seem reachable from the internet",
                    entry.address, static_cast<unsigned>(entry.game_port));
      say(a, line);
    }
    return;
  }

  // A refusal, with its reason: the list is up but will not list the game.
  // It is asked again after the same waits as a list that is down, so that
  // one that refuses is not pressed.
  schedule_back_off(entry, now_ms);
  entry.state = ListState::Refused;
  entry.pending_answers = 0;
  const auto error = said.find("error");
  char reason[120];
  printable_copy(reason, sizeof reason,
                 error != said.end() && error->is_string() ? error->get_ref<const std::string&>().c_str()
                                                           : "no reason given");
  char told[sizeof entry.told];
  std::snprintf(told, sizeof told, "%ld %s", status, reason);
  if (std::strcmp(told, entry.told) == 0) return;
  std::snprintf(entry.told, sizeof entry.told, "%s", told);
  char line[512];
  std::snprintf(line, sizeof line, "the list at %s refuses the game (HTTP %ld): %s", entry.address, status, reason);
  say(a, line);
}

void start_announcement(ListAnnouncer& a, ListEntry& entry, const GameAnnouncement& game, double now_ms) {
  const std::size_t size = announcement_body(game, entry.body, sizeof entry.body);
  if (size == 0) {
    entry.next_ms = now_ms + entry.interval_s * 1000;
    return;
  }
  entry.answer_size = 0;
  entry.answer_cut = false;
  entry.game_port = game.port;
  curl_easy_setopt(entry.easy, CURLOPT_POSTFIELDS, entry.body);
  curl_easy_setopt(entry.easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(size));
  if (curl_multi_add_handle(a.multi, entry.easy) != CURLM_OK) {
    entry.next_ms = now_ms + entry.interval_s * 1000;
    return;
  }
  entry.busy = true;
}

bool set_up_entry(ListAnnouncer& a, ListEntry& entry, const char* address) {
  std::snprintf(entry.address, sizeof entry.address, "%s", address);
  std::snprintf(entry.url, sizeof entry.url, "http://%.*s/announce", static_cast<int>(sizeof entry.address - 1), address);
  entry.easy = curl_easy_init();
  if (!entry.easy) return false;
  CURL* easy = entry.easy;
  curl_easy_setopt(easy, CURLOPT_URL, entry.url);
  curl_easy_setopt(easy, CURLOPT_PRIVATE, &entry);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, a.headers);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, keep_answer);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &entry);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, kTransferTimeoutMs);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
  // The lists speak IPv4 alone, plain HTTP, and take the announcement from
  // the connection's own address: nothing in between may carry it.
  curl_easy_setopt(easy, CURLOPT_IPRESOLVE, CURL_IPRESOLVE_V4);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(easy, CURLOPT_USERAGENT, "Morvane");
#if LIBCURL_VERSION_NUM >= 0x075700
  // A name still being looked up when an announcement is abandoned (the
  // host stopping) is left to its thread rather than waited for.
  curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
#endif
  return true;
}

}  // namespace

std::size_t announcement_body(const GameAnnouncement& game, char* body, std::size_t size) {
  nlohmann::json object = {{"port", game.port},          {"name", game.name},
                           {"level", game.level},        {"people", game.people},
                           {"computers", game.computers}, {"seats", game.seats},
                           {"version", game.version}};
  const std::string text = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  if (text.size() >= size) return 0;
  std::memcpy(body, text.c_str(), text.size() + 1);
  return text.size();
}

ListAnnouncer* create_list_announcer(const char* const* addresses, std::size_t count, AnnouncerLog log,
                                     void* log_context) {
  static const bool started = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  if (!started) return nullptr;
  auto* a = new ListAnnouncer;
  a->log = log;
  a->log_context = log_context;
  a->multi = curl_multi_init();
  a->headers = curl_slist_append(nullptr, "Content-Type: application/json");
  if (a->headers) a->headers = curl_slist_append(a->headers, "Expect:");
  if (!a->multi || !a->headers) {
    release_list_announcer(a);
    return nullptr;
  }
  for (std::size_t i = 0; i < count && a->count < kMaxLists; ++i) {
    if (!set_up_entry(*a, a->lists[a->count], addresses[i])) {
      release_list_announcer(a);
      return nullptr;
    }
    ++a->count;
  }
  return a;
}

void release_list_announcer(ListAnnouncer* a) {
  if (!a) return;
  for (ListEntry& entry : a->lists) {
    if (!entry.easy) continue;
    if (entry.busy) curl_multi_remove_handle(a->multi, entry.easy);
    curl_easy_cleanup(entry.easy);
  }
  if (a->multi) curl_multi_cleanup(a->multi);
  curl_slist_free_all(a->headers);
  delete a;
}

namespace {

// Moves the transfers on and hands every one that has ended, with its list
// and outcome, to take.
template <typename Take>
void take_ended_transfers(ListAnnouncer& a, Take&& take) {
  int running = 0;
  curl_multi_perform(a.multi, &running);
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(a.multi, &left)) {
    if (message->msg != CURLMSG_DONE) continue;
    CURL* easy = message->easy_handle;
    const CURLcode result = message->data.result;
    ListEntry* entry = nullptr;
    curl_easy_getinfo(easy, CURLINFO_PRIVATE, &entry);
    curl_multi_remove_handle(a.multi, easy);
    if (entry) take(*entry, result);
  }
}

}  // namespace

void drive_list_announcer(ListAnnouncer& a, const GameAnnouncement& game, double now_ms) {
  take_ended_transfers(a, [&](ListEntry& entry, CURLcode result) { take_answer(a, entry, result, now_ms); });
  bool started = false;
  for (std::size_t i = 0; i < a.count; ++i) {
    ListEntry& entry = a.lists[i];
    if (entry.busy || now_ms < entry.next_ms) continue;
    start_announcement(a, entry, game, now_ms);
    started = started || entry.busy;
  }
  int running = 0;
  if (started) curl_multi_perform(a.multi, &running);
}

namespace {

// Starts the withdrawal from one list on its own handle, the announcement
// on its way (if any) abandoned first.
bool start_withdrawal(ListAnnouncer& a, ListEntry& entry, long timeout_ms) {
  if (entry.busy) curl_multi_remove_handle(a.multi, entry.easy);
  entry.busy = false;
  const int size =
      std::snprintf(entry.body, sizeof entry.body, "{\"port\":%u}", static_cast<unsigned>(entry.game_port));
  char url[sizeof entry.url];
  std::snprintf(url, sizeof url, "http://%s/withdraw", entry.address);
  entry.answer_size = 0;
  entry.answer_cut = false;
  curl_easy_setopt(entry.easy, CURLOPT_URL, url);  // copied by libcurl
  curl_easy_setopt(entry.easy, CURLOPT_POSTFIELDS, entry.body);
  curl_easy_setopt(entry.easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(size));
  curl_easy_setopt(entry.easy, CURLOPT_TIMEOUT_MS, timeout_ms);
  curl_easy_setopt(entry.easy, CURLOPT_CONNECTTIMEOUT_MS, timeout_ms);
  if (curl_multi_add_handle(a.multi, entry.easy) != CURLM_OK) return false;
  entry.withdrawing = true;
  return true;
}

// What the list said to its withdrawal, as a line for the log; true when it
// withdrew the game.
bool take_withdrawal_answer(ListAnnouncer& a, ListEntry& entry, CURLcode result) {
  entry.withdrawing = false;
  char line[512];
  if (result != CURLE_OK) {
    std::snprintf(line, sizeof line, "the list at %s has not withdrawn the game (%s); it leaves that list within 60 s",
                  entry.address, curl_easy_strerror(result));
    say(a, line);
    return false;
  }
  long status = 0;
  curl_easy_getinfo(entry.easy, CURLINFO_RESPONSE_CODE, &status);
  const nlohmann::json said =
      entry.answer_cut ? nlohmann::json() : nlohmann::json::parse(entry.answer, entry.answer + entry.answer_size,
                                                                 nullptr, false);
  const auto word = said.is_object() ? said.find("status") : said.end();
  if (status == 200 && said.is_object() && word != said.end() && *word == "withdrawn") {
    std::snprintf(line, sizeof line, "the list at %s has withdrawn the game", entry.address);
    say(a, line);
    return true;
  }
  const auto error = said.is_object() ? said.find("error") : said.end();
  char reason[120];
  printable_copy(reason, sizeof reason,
                 said.is_object() && error != said.end() && error->is_string()
                     ? error->get_ref<const std::string&>().c_str()
                     : "no reason given");
  // A list that does not know withdrawals (404) leaves the game to expire.
  std::snprintf(line, sizeof line,
                "the list at %s has not withdrawn the game (HTTP %ld): %s; it leaves that list within 60 s",
                entry.address, status, reason);
  say(a, line);
  return false;
}

}  // namespace

std::size_t withdraw_from_lists(ListAnnouncer& a, double timeout_ms) {
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double, std::milli>(std::max(timeout_ms, 1.0)));
  int waiting = 0;
  for (std::size_t i = 0; i < a.count; ++i) {
    ListEntry& entry = a.lists[i];
    const bool may_hold = entry.state == ListState::Listed || entry.state == ListState::Pending || entry.busy;
    if (!may_hold || entry.game_port == 0) continue;
    if (start_withdrawal(a, entry, static_cast<long>(std::max(timeout_ms, 1.0)))) ++waiting;
  }
  std::size_t withdrawn = 0;
  while (waiting > 0) {
    take_ended_transfers(a, [&](ListEntry& entry, CURLcode result) {
      if (!entry.withdrawing) return;
      withdrawn += take_withdrawal_answer(a, entry, result);
      --waiting;
    });
    const auto left_ms = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    if (waiting == 0 || left_ms <= 0) break;
    curl_multi_poll(a.multi, nullptr, 0, static_cast<int>(std::min<long long>(left_ms, 100)), nullptr);
  }
  // The lists that have not answered in time are left to expire the game.
  for (std::size_t i = 0; i < a.count; ++i) {
    ListEntry& entry = a.lists[i];
    if (!entry.withdrawing) continue;
    curl_multi_remove_handle(a.multi, entry.easy);
    entry.withdrawing = false;
    char line[400];
    std::snprintf(line, sizeof line,
                  "the list at %s has not answered the withdrawal within %.0f ms; it leaves that list within 60 s",
                  entry.address, timeout_ms);
    say(a, line);
  }
  // Nothing more is announced: the handles now carry withdrawals.
  for (std::size_t i = 0; i < a.count; ++i) a.lists[i].next_ms = 1e300;
  return withdrawn;
}

ListState list_state(const ListAnnouncer& a, std::size_t index) {
  return index < a.count ? a.lists[index].state : ListState::Waiting;
}

double next_announcement_ms(const ListAnnouncer& a, std::size_t index) {
  return index < a.count ? a.lists[index].next_ms : 0;
}

std::size_t list_count(const ListAnnouncer& a) { return a.count; }

}  // namespace platform
