#include "net/session.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/game_core.h"
#include "net/message_log.h"
#include "net/protocol.h"

namespace {

constexpr int32_t kSessionPlayers = 8;
constexpr std::size_t kNoticeColumns = 79;

// The session layer speaks the game's own system message types.
static_assert(DPSYS_CREATEPLAYERORGROUP == platform::kSystemCreatePlayer);
static_assert(DPSYS_DESTROYPLAYERORGROUP == platform::kSystemDestroyPlayer);
static_assert(DPSYS_HOST == platform::kSystemHost);
static_assert(kPlayerSlotNameSize == platform::kPlayerNameSize);
static_assert(MSG_STATUS == platform::kGameStatusType);
static_assert(kMessageHeaderSize == platform::kGameHeaderSize);

// The protocol's view of the session: send, count and receive.
bool transport_send(void* peer, uint32_t from, uint32_t to, bool guaranteed, const uint8_t* bytes,
                    std::size_t size) {
  return platform::send(static_cast<platform::PeerSession*>(peer), from, to, guaranteed, bytes, size);
}

uint32_t transport_count(void* peer, uint32_t player) {
  return platform::message_count(static_cast<platform::PeerSession*>(peer), player);
}

bool transport_receive(void* peer, uint32_t, uint32_t& from, uint32_t& to, uint8_t* buffer,
                       std::size_t capacity, std::size_t& size) {
  // The receive buffer holds the largest message the session carries, so a
  // message never has to wait for a bigger buffer.
  static_assert(kReceiveBufferSize >= platform::kMaxSessionMessage);
  size = capacity;
  return platform::receive(static_cast<platform::PeerSession*>(peer), from, to, buffer, size) ==
         platform::ReceiveResult::Ok;
}

uint32_t transport_waited_ms(void* peer) {
  return platform::last_message_waited_ms(static_cast<platform::PeerSession*>(peer));
}

uint32_t transport_round_trip(void* peer, uint32_t player) {
  return platform::round_trip_ms(static_cast<platform::PeerSession*>(peer), player);
}

// Names and texts from the network are stored without control characters.
void copy_cut(char* dest, std::size_t size, const char* src) {
  std::snprintf(dest, size, "%s", src ? src : "");
  replace_control_characters(dest);
}

}  // namespace

int create_directplay(GameCore& game) {
  SessionState& session = game.session;
  session.peer = platform::create_peer_session(session.ports);
  if (!session.peer) return 4;
  game.protocol.transport =
      Transport{session.peer,       transport_send,      transport_count,
                transport_receive,  transport_waited_ms, transport_round_trip};
  return 1;
}

int release_directplay(GameCore& game) {
  platform::stop_port_mapping(game.session.port_mapping);
  game.session.port_mapping = nullptr;
  stop_internet_listing(game.session);
  platform::release_peer_session(game.session.peer);
  game.session.peer = nullptr;
  game.protocol.transport = Transport{};
  return 1;
}

int reset_directplay(GameCore& game) {
  release_directplay(game);
  create_directplay(game);
  return 1;
}

int connect_tcpip(GameCore& game, const char* address) {
  platform::initialize_internet(game.session.peer, address);
  return 1;
}

int connect_ipx(GameCore& game) { return platform::initialize_lan(game.session.peer) ? 1 : 0; }

int enumerate_sessions(GameCore& game) {
  SessionState& session = game.session;
  session.session_count = 0;
  session.lan_count = 0;
  const bool sent = platform::enum_sessions(session.peer, session.enumeration_ms, on_session_found, &game);
  session.lan_count = session.session_count;
  if (session.internet_listing) list_internet_games(session);
  return sent ? 1 : 0;
}

bool on_session_found(void* context, const platform::SessionDescription* found) {
  SessionState& session = static_cast<GameCore*>(context)->session;
  if (!found) return false;  // the time-out ends the listing
  if (session.session_count >= static_cast<int32_t>(kMaxSessions)) return false;
  SessionEntry& entry = session.session_list[static_cast<std::size_t>(session.session_count)];
  entry.instance = found->instance;
  entry.current_players = found->current_players;
  entry.computer_players = found->computer_players;
  entry.max_players = found->max_players;
  entry.round_trip_ms = static_cast<int32_t>(std::min<uint32_t>(found->round_trip_ms, 99999));
  entry.internet = false;
  entry.answered = true;
  entry.host = 0;
  entry.port = 0;
  copy_cut(entry.session_name, sizeof entry.session_name, found->session_name);
  session.session_count += 1;
  return true;
}

namespace {

bool open_as_host(GameCore& game) {
  char name[80];
  if (game.session.hosted_name[0] != '\0')
    std::snprintf(name, sizeof name, "%s", game.session.hosted_name);
  else
    std::snprintf(name, sizeof name, "%s's game", game.settings.player_name);
  if (!platform::open_new_session(game.session.peer, name, kSessionPlayers)) return false;
  // Only an internet game: the local network's (IPX-labelled) needs no router.
  const GameSettings& settings = game.settings;
  if (game.session.open_router_port && settings.use_tcpip && !settings.use_ipx &&
      !game.session.port_mapping)
    game.session.port_mapping = platform::start_port_mapping(game.session.ports.game);
  return true;
}

bool open_as_client(GameCore& game) {
  const SessionState& session = game.session;
  if (session.selected_session < 0 || session.selected_session >= session.session_count) return false;
  const SessionEntry& entry = session.session_list[static_cast<std::size_t>(session.selected_session)];
  if (entry.internet) return platform::open_session_at(session.peer, entry.host, entry.port, entry.instance);
  return platform::open_listed_session(session.peer, entry.instance);
}

void reset_player_table(GameCore& game) {
  for (PlayerSlot& slot : game.world.player_table) {
    slot = PlayerSlot{};
    copy_cut(slot.name, sizeof slot.name, "<< UNNAMED >>");
  }
}

// The local player, then every player of the session into the table.
bool create_players(GameCore& game, const char* name, bool host) {
  if (!platform::create_local_player(game.session.peer, name, host, game.world.tank.local_player_id))
    return false;
  reset_player_table(game);
  game.session.players_found = 0;
  return platform::enum_players(game.session.peer, on_player_found, &game);
}

}  // namespace

int open_session(GameCore& game) {
  const bool host = game.settings.is_host != 0;
  // A hand-edited config.dat may leave the name empty; the session needs one.
  char* name = game.settings.player_name;
  if (name[0] == '\0') copy_cut(name, sizeof game.settings.player_name, kDefaultPlayerName);
  if (!(host ? open_as_host(game) : open_as_client(game))) return 0;
  if (!create_players(game, name, host)) {
    platform::close_session(game.session.peer);
    return 0;
  }
  game.world.in_session = 1;
  return 1;
}

const char* join_failure_text(const GameCore& game) {
  if (game.session.selected_session < 0 || game.session.selected_session >= game.session.session_count)
    return "That game is not listed; list the games again.";
  return platform::join_failure(game.session.peer);
}

void connect_configured(GameCore& game) {
  const GameSettings& settings = game.settings;
  if (settings.is_host) {
    if (settings.use_ipx)
      connect_ipx(game);
    else if (settings.use_tcpip)
      connect_tcpip(game, "");
  } else {
    // With no address to join, the public lists' games are listed too.
    const char* address = settings.host_address;
    game.session.internet_listing =
        settings.use_tcpip && (address[0] == '\0' || std::strcmp(address, "0.0.0.0") == 0);
    if (settings.use_tcpip)
      connect_tcpip(game, settings.host_address);
    else if (settings.use_ipx)
      connect_ipx(game);
  }
}

int enter_game(GameCore& game) {
  WorldState& world = game.world;
  world.chat_entry_open = 0;
  if (open_session(game) != 1 && !game.settings.is_host) return 0;
  world.in_session = 1;
  world.awaiting_entry = 1;
  world.tank.in_play = 0;
  return 1;
}

bool on_player_found(void* context, uint32_t player_id, const char* name) {
  GameCore& game = *static_cast<GameCore*>(context);
  int32_t& found = game.session.players_found;
  if (found >= static_cast<int32_t>(kMaxPlayers)) return false;
  // Id 0 is the free place of a player who has left: the slot stays
  // inactive, as it is in the tables of those who saw the player go, so the
  // next player to join takes it on every program alike.
  if (player_id != 0) {
    PlayerSlot& slot = game.world.player_table[static_cast<std::size_t>(found)];
    slot.active = 1;
    slot.player_id = player_id;
    copy_cut(slot.name, sizeof slot.name, name);
  }
  found += 1;
  return found < static_cast<int32_t>(kMaxPlayers);
}

bool take_port_mapping_news(GameCore& game, char* text, std::size_t size) {
  return platform::take_port_mapping_news(game.session.port_mapping, text, size);
}

void report_port_mapping(GameCore& game) {
  char text[platform::kMappingTextSize];
  if (!take_port_mapping_news(game, text, sizeof text)) return;
  std::fprintf(stderr, "morvane: %s\n", text);
  // A notice holds 79 characters: a longer sentence is shown as its two
  // halves, the cause and then what it means.
  char* colon = std::strstr(text, ": ");
  if (std::strlen(text) > kNoticeColumns && colon) {
    *colon = '\0';
    add_log_entry(game.log, LOG_NOTICE, text, "SYS");
    add_log_entry(game.log, LOG_NOTICE, colon + 2, "SYS");
  } else {
    add_log_entry(game.log, LOG_NOTICE, text, "SYS");
  }
}

void flush_session(GameCore& game) {
  if (networking_on(game.settings) && game.world.in_session) platform::flush(game.session.peer);
}

void keep_session_alive(GameCore& game) {
  if (networking_on(game.settings) && game.world.in_session) platform::keep_alive(game.session.peer);
}

void order_sessions(SessionState& session) {
  const auto count = static_cast<std::ptrdiff_t>(std::clamp<int32_t>(session.session_count, 0, static_cast<int32_t>(kMaxListedSessions)));
  // Best round trip first; games that have not answered keep their order last.
  std::stable_sort(session.session_list.begin(), session.session_list.begin() + count,
                   [](const SessionEntry& a, const SessionEntry& b) {
                     if ((a.round_trip_ms < 0) != (b.round_trip_ms < 0)) return b.round_trip_ms < 0;
                     return a.round_trip_ms < b.round_trip_ms;
                   });
}

void list_internet_games(SessionState& session) {
  session.session_count = std::clamp<int32_t>(session.lan_count, 0, static_cast<int32_t>(kMaxSessions));
  const platform::ListedGames& games = platform::listed_games(session.lists);
  for (std::size_t i = 0; i < games.count; ++i) {
    const platform::ListedGame& game = games.games[i];
    const platform::ProbeResult& probe = platform::probe_result(session.probe, i);
    // A game also found on the local network is listed once, as found there.
    bool known = false;
    for (int32_t lan = 0; probe.answered && lan < session.lan_count; ++lan)
      if (session.session_list[static_cast<std::size_t>(lan)].instance == probe.reply.instance) known = true;
    if (known || session.session_count >= static_cast<int32_t>(kMaxListedSessions)) continue;
    SessionEntry& entry = session.session_list[static_cast<std::size_t>(session.session_count++)];
    entry = SessionEntry{};
    entry.internet = true;
    entry.host = game.host;
    entry.port = game.port;
    entry.answered = probe.answered;
    if (probe.answered) {
      // The game's own answer is newer than the list's.
      entry.instance = probe.reply.instance;
      entry.current_players = probe.reply.current_players;
      entry.computer_players = probe.reply.computer_players;
      entry.max_players = probe.reply.max_players;
      entry.round_trip_ms = static_cast<int32_t>(std::min<uint32_t>(probe.round_trip_ms, 99999));
      copy_cut(entry.session_name, sizeof entry.session_name, probe.reply.session_name);
    } else {
      entry.current_players = game.people + game.computers;
      entry.computer_players = game.computers;
      entry.max_players = game.seats;
      copy_cut(entry.session_name, sizeof entry.session_name, game.name);
    }
  }
  order_sessions(session);
}

bool refresh_internet_games(SessionState& session, uint32_t now_ms) {
  if (!session.internet_listing) return false;
  bool changed = false;
  if (!session.lists) {
    session.lists = platform::create_list_reader(kListsFile, kListsCacheFile);
    session.probe = platform::create_game_probe(session.ports.discovery);
    if (!session.lists) {
      session.internet_listing = false;
      return false;
    }
    // The games of the last list read are asked at once, while the lists
    // are read again.
    platform::probe_games(session.probe, platform::listed_games(session.lists));
    session.next_list_reading_ms = now_ms;
    changed = true;
  }
  if (static_cast<int32_t>(now_ms - session.next_list_reading_ms) >= 0 &&
      !platform::list_reading_busy(session.lists)) {
    platform::start_list_reading(session.lists);
    session.next_list_reading_ms = now_ms + kListRefreshMs;
  }
  if (platform::poll_list_reader(session.lists)) {
    platform::probe_games(session.probe, platform::listed_games(session.lists));
    changed = true;
  }
  if (platform::poll_game_probe(session.probe)) changed = true;
  if (changed) list_internet_games(session);
  return changed;
}

void stop_internet_listing(SessionState& session) {
  platform::release_list_reader(session.lists);
  platform::release_game_probe(session.probe);
  session.lists = nullptr;
  session.probe = nullptr;
  session.internet_listing = false;
  session.session_count = std::min(session.session_count, session.lan_count);
}
