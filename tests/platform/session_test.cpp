// The session layer's own packets, and a peer that speaks them badly.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <enet/enet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/game_probe.h"
#include "platform/session.h"

namespace {

// The wall clock of this test program can be set forward or back, as a
// time server or a resumed virtual machine sets a machine's: everything
// that reads the wall clock through the C library (ENet among them) sees
// the step, the monotonic clock does not.
std::atomic<int64_t> g_wall_clock_step_ms{0};

int real_clock_gettime(clockid_t clock, timespec* now) {
  using ClockGettime = int (*)(clockid_t, timespec*);
  static const auto real = reinterpret_cast<ClockGettime>(dlsym(RTLD_NEXT, "clock_gettime"));
  return real(clock, now);
}

}  // namespace

extern "C" int clock_gettime(clockid_t clock, timespec* now) noexcept {
  const int result = real_clock_gettime(clock, now);
  const int64_t step_ms = g_wall_clock_step_ms.load();
  if (result == 0 && clock == CLOCK_REALTIME && step_ms != 0) {
    int64_t nanoseconds = now->tv_nsec + (step_ms % 1000) * 1000000;
    now->tv_sec += static_cast<time_t>(step_ms / 1000 + (nanoseconds < 0 ? -1 : nanoseconds / 1000000000));
    now->tv_nsec = static_cast<long>(((nanoseconds % 1000000000) + 1000000000) % 1000000000);
  }
  return result;
}

extern "C" int gettimeofday(timeval* now, void*) noexcept {
  timespec precise{};
  const int result = clock_gettime(CLOCK_REALTIME, &precise);
  now->tv_sec = precise.tv_sec;
  now->tv_usec = static_cast<suseconds_t>(precise.tv_nsec / 1000);
  return result;
}

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using namespace platform;

// Ports of this test program alone, so that test programs running side by
// side on one machine never meet.
uint16_t test_game_port() { return static_cast<uint16_t>(21000 + (getpid() % 5000) * 4); }

double seconds_between(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// A bare ENet connection to the host, as any program could open one, with
// one channel as programs written before statuses had a channel of their
// own, unless it asks for more.
struct RawPeer {
  ENetHost* host = nullptr;
  ENetPeer* peer = nullptr;
  Clock::time_point connected{}, accepted{}, disconnected{};
  Bytes last;  // the last packet that arrived
  uint8_t last_channel = 0;
  bool last_reliable = false;

  // Every game packet that arrived: its bytes, channel and reliability.
  struct Arrival {
    Bytes bytes;
    uint8_t channel;
    bool reliable;
  };
  std::vector<Arrival> arrivals;

  explicit RawPeer(uint16_t port, std::size_t channels = 1) {
    host = enet_host_create(nullptr, 1, channels, 0, 0);
    ENetAddress address{};
    enet_address_set_host(&address, "127.0.0.1");
    address.port = port;
    peer = enet_host_connect(host, &address, channels, 0);
  }
  RawPeer(const RawPeer&) = delete;
  RawPeer& operator=(const RawPeer&) = delete;
  ~RawPeer() { enet_host_destroy(host); }

  void send(const Bytes& bytes) {
    enet_peer_send(peer, 0, enet_packet_create(bytes.data(), bytes.size(), ENET_PACKET_FLAG_RELIABLE));
  }
  void pump(uint32_t wait_ms = 0) {
    ENetEvent event;
    for (uint32_t wait = wait_ms; enet_host_service(host, &event, wait) > 0; wait = 0) {
      const auto now = Clock::now();
      if (event.type == ENET_EVENT_TYPE_CONNECT) connected = now;
      if (event.type == ENET_EVENT_TYPE_DISCONNECT) disconnected = now;
      if (event.type != ENET_EVENT_TYPE_RECEIVE) continue;
      last.assign(event.packet->data, event.packet->data + event.packet->dataLength);
      last_channel = event.channelID;
      last_reliable = (event.packet->flags & ENET_PACKET_FLAG_RELIABLE) != 0;
      if (!last.empty() && last[0] == static_cast<uint8_t>(PacketKind::Game))
        arrivals.push_back({last, last_channel, last_reliable});
      if (!last.empty() && last[0] == static_cast<uint8_t>(PacketKind::Accept)) accepted = now;
      enet_packet_destroy(event.packet);
    }
  }
  bool is_connected() const { return connected != Clock::time_point{} && disconnected == Clock::time_point{}; }
};

// The host served from a second thread while this one plays the others: a
// listing or a join blocks its caller until the host answers. Nothing else
// touches the host meanwhile.
class ServedHost {
 public:
  explicit ServedHost(PeerSession* host)
      : thread_([this, host] {
          while (!done_) {
            keep_alive(host);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          }
        }) {}
  ~ServedHost() { stop(); }
  void stop() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

PeerSession* open_host(uint16_t port) {
  PeerSession* host = create_peer_session({port, static_cast<uint16_t>(port + 1), 0});
  uint32_t id = 0;
  EXPECT_TRUE(host && initialize_internet(host, "") && open_new_session(host, "Hostess's game", 8) &&
              create_local_player(host, "Hostess", true, id));
  return host;
}

// Lists the game on the port (the host must be served meanwhile) and leaves
// what the listing says of it in `described`; false when none answers.
bool list_game(PeerSession* client, SessionDescription& described) {
  struct Found {
    SessionDescription described{};
    bool any = false;
  } found;
  initialize_internet(client, "127.0.0.1");
  enum_sessions(client, 500,
                [](void* context, const SessionDescription* session) {
                  auto& f = *static_cast<Found*>(context);
                  if (session) f = Found{*session, true};
                  return false;
                },
                &found);
  described = found.described;
  return found.any;
}

bool list_game(PeerSession* client, SessionInstance& instance) {
  SessionDescription described;
  const bool any = list_game(client, described);
  instance = described.instance;
  return any;
}

// A player that lists the game and joins it; its id, or 0 when it failed.
uint32_t join_game(uint16_t port, PeerSession*& client, const char* name) {
  client = create_peer_session({port, static_cast<uint16_t>(port + 1), 0});
  SessionInstance instance;
  uint32_t id = 0;
  if (!client || !list_game(client, instance) || !open_listed_session(client, instance) ||
      !create_local_player(client, name, false, id))
    return 0;
  return id;
}

struct Received {
  uint32_t from;
  Bytes bytes;
  uint32_t waited_ms = 0;  // in the ring, before it was taken
};

// Every message waiting for the player, in order.
std::vector<Received> take_all(PeerSession* session, uint32_t player) {
  std::vector<Received> all;
  message_count(session, player);
  std::array<uint8_t, kMaxSessionMessage> buffer{};
  for (;;) {
    uint32_t from = 0, to = 0;
    std::size_t size = buffer.size();
    if (receive(session, from, to, buffer.data(), size) != ReceiveResult::Ok) break;
    all.push_back({from, Bytes(buffer.begin(), buffer.begin() + static_cast<long>(size)),
                   last_message_waited_ms(session)});
  }
  return all;
}

int count_players(PeerSession* session) {
  int players = 0;
  enum_players(
      session,
      [](void* count, uint32_t id, const char*) {
        if (id != 0) ++*static_cast<int*>(count);
        return true;
      },
      &players);
  return players;
}

uint32_t le32_at(const Bytes& bytes, std::size_t offset) {
  uint32_t value = 0;
  std::memcpy(&value, bytes.data() + offset, 4);
  return value;
}

// A game message as the host relays it: type, valid 1, writer, and a
// counter in its last four bytes (a status is 44 bytes, a chat line 272).
Bytes game_message(uint32_t type, uint32_t writer, uint32_t counter) {
  Bytes bytes(type == kGameStatusType ? 44 : 272, 0);
  const uint32_t header[] = {type, 1, writer};
  std::memcpy(bytes.data(), header, sizeof header);
  std::memcpy(bytes.data() + bytes.size() - 4, &counter, 4);
  return bytes;
}

bool noticed(const std::vector<Received>& messages, uint32_t type, uint32_t player_id);

TEST(SessionPackets, RoundTripsAndRefusesDamagedBytes) {
  DiscoveryReply reply;
  reply.instance = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  reply.current_players = 3;
  reply.max_players = 8;
  reply.game_port = kGamePort;
  std::memset(reply.session_name, 'n', sizeof reply.session_name);  // no terminator
  const auto bytes = encode_discovery_reply(reply);
  DiscoveryReply back;
  ASSERT_TRUE(decode_discovery_reply(bytes, back));
  EXPECT_EQ(back.instance, reply.instance);
  EXPECT_EQ(std::strlen(back.session_name), kDiscoveryNameField - 1);
  EXPECT_TRUE(decode_discovery_query(encode_discovery_query()));

  // Computer players ride in the reply's last byte, which the name's zero
  // padding leaves zero for older programs: the name gives up its 79th
  // character, an older program's read of the whole field still ends at a
  // NUL before it, and a count beyond the players counts for nothing.
  reply.current_players = 8;
  reply.computer_players = 7;
  std::snprintf(reply.session_name, sizeof reply.session_name, "Test arena");
  const auto with_computers = encode_discovery_reply(reply);
  ASSERT_EQ(with_computers.size(), 105u);
  EXPECT_EQ(with_computers[104], 7);
  EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(&with_computers[25])), 10u);
  ASSERT_TRUE(decode_discovery_reply(with_computers, back));
  EXPECT_EQ(back.computer_players, 7);
  EXPECT_EQ(back.current_players, 8);
  EXPECT_STREQ(back.session_name, "Test arena");
  std::memset(reply.session_name, 'n', sizeof reply.session_name);
  const auto long_listed = encode_discovery_reply(reply);
  EXPECT_EQ(long_listed[25 + 78], 0);
  EXPECT_EQ(long_listed[104], 7);
  Bytes older(with_computers.begin(), with_computers.end());
  older[104] = 0;  // an older host
  ASSERT_TRUE(decode_discovery_reply(older, back));
  EXPECT_EQ(back.computer_players, 0);
  older[104] = 9;  // more computer players than players
  ASSERT_TRUE(decode_discovery_reply(older, back));
  EXPECT_EQ(back.computer_players, 0);
  reply.computer_players = 9;
  EXPECT_EQ(encode_discovery_reply(reply)[104], 8) << "never more than the players";

  WelcomePacket welcome;
  welcome.player_id = 5;
  welcome.player_count = 2;
  welcome.players[1].id = 5;
  std::strcpy(welcome.players[1].name, "Ann");
  Bytes packet(kWelcomePacketMax);
  packet.resize(encode_welcome(welcome, packet));
  WelcomePacket decoded;
  ASSERT_TRUE(decode_welcome(packet, decoded));
  EXPECT_STREQ(decoded.players[1].name, "Ann");

  // Every shorter prefix, a wrong magic, a wrong version or an impossible
  // count is refused.
  for (std::size_t n = 0; n < bytes.size(); ++n) EXPECT_FALSE(decode_discovery_reply({bytes.data(), n}, back));
  for (std::size_t n = 0; n < packet.size(); ++n) EXPECT_FALSE(decode_welcome({packet.data(), n}, decoded));
  Bytes wrong(bytes.begin(), bytes.end());
  wrong[4] = 99;
  EXPECT_FALSE(decode_discovery_reply(wrong, back));
  packet[5] = 9;  // nine players
  EXPECT_FALSE(decode_welcome(packet, decoded));
  char name[kPlayerNameSize];
  EXPECT_FALSE(decode_create_player(Bytes{4}, name));  // an empty name
  const Bytes long_name = [] { Bytes b(200, 'x'); b[0] = 4; return b; }();
  ASSERT_TRUE(decode_create_player(long_name, name));
  EXPECT_EQ(std::strlen(name), kPlayerNameSize - 1);
  std::span<const uint8_t> message;
  EXPECT_FALSE(decode_framed(Bytes(2 + kMaxSessionMessage, 7), message));
  EXPECT_FALSE(decode_framed(Bytes{7, 1, 2}, message));
}

// Players whose names carry a terminal's escape, a bell, C1 codes, bytes
// that are no character, or more than 39 bytes: the host cleans each name
// once, as the game cleans chat, and cuts it on a whole character, and
// tells it in that form to the player itself (Welcome), to every other
// player ("player created") and to its own game, and to every later player
// in their Welcome.
TEST(SessionLayer, TheHostRelaysPlayersNamesCleanedAndCutOnAWholeCharacter) {
  const uint16_t port = test_game_port();
  PeerSession* host = open_host(port);
  ASSERT_NE(host, nullptr);
  SessionInstance instance;
  PeerSession* quiet = nullptr;
  uint32_t quiet_id = 0;
  {
    ServedHost served(host);
    PeerSession* lister = create_peer_session({port, static_cast<uint16_t>(port + 1), 0});
    ASSERT_TRUE(list_game(lister, instance));
    release_peer_session(lister);
    quiet_id = join_game(port, quiet, "Quiet");
  }
  ASSERT_EQ(quiet_id, 2u);
  take_all(host, 1);

  const std::string euro = "\xE2\x82\xAC";
  std::string euros, thirteen_euros;
  for (int n = 0; n < 14; ++n) euros += euro;
  for (int n = 0; n < 13; ++n) thirteen_euros += euro;
  struct Name {
    std::string sent, relayed;
  };
  const Name names[] = {
      {"\x1b[2J", "?[2J"},
      {"Bell\x07\xC2\x9Bx", "Bell??x"},                                // BEL, then the C1 code CSI
      {std::string(38, 'x') + "\xC3\xA9", std::string(38, 'x')},        // 40 bytes: no half of the last
      {"Zo\xC3\xAB", "Zo\xC3\xAB"},                                   // a character stays itself
      {"bad\xFF\xC0\xAF\xED\xA0\x80\xC3", "bad???????"},           // no characters, each byte a '?'
      {euros, thirteen_euros},                                            // 42 bytes: 13 whole characters
  };
  std::vector<std::unique_ptr<RawPeer>> players;
  std::vector<Received> at_host, at_quiet;
  auto serve_until = [&](auto done) {
    for (int n = 0; n < 3000 && !done(); ++n) {
      keep_alive(host);
      keep_alive(quiet);
      for (auto& player : players) player->pump();
      for (Received& message : take_all(host, 1)) at_host.push_back(std::move(message));
      for (Received& message : take_all(quiet, quiet_id)) at_quiet.push_back(std::move(message));
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
  };
  WelcomePacket welcome;
  for (const Name& name : names) {
    SCOPED_TRACE(name.relayed);
    players.push_back(std::make_unique<RawPeer>(port));
    RawPeer& player = *players.back();
    ASSERT_TRUE(serve_until([&] { return player.is_connected(); }));
    Bytes join(kJoinPacketSize);
    encode_join(instance, join);
    player.send(join);
    ASSERT_TRUE(serve_until([&] { return player.accepted != Clock::time_point{}; }));
    Bytes create(1 + name.sent.size(), static_cast<uint8_t>(PacketKind::CreatePlayer));
    std::memcpy(create.data() + 1, name.sent.data(), name.sent.size());
    player.send(create);
    ASSERT_TRUE(serve_until([&] { return decode_welcome(player.last, welcome); }));
    EXPECT_EQ(welcome.players[welcome.player_count - 1].id, welcome.player_id);
    EXPECT_EQ(std::string(welcome.players[welcome.player_count - 1].name), name.relayed);
    const uint32_t id = welcome.player_id;
    for (auto* messages : {&at_host, &at_quiet}) {
      ASSERT_TRUE(serve_until([&] { return noticed(*messages, kSystemCreatePlayer, id); }));
      for (const Received& message : *messages) {
        if (message.from != 0 || le32_at(message.bytes, 4) != id) continue;
        ASSERT_EQ(message.bytes.size(), 8 + kPlayerNameSize);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(message.bytes.data()) + 8), name.relayed);
      }
    }
  }
  // The last player's Welcome lists every earlier one as the host relayed it.
  ASSERT_EQ(welcome.player_count, 8);
  EXPECT_STREQ(welcome.players[0].name, "Hostess");
  EXPECT_STREQ(welcome.players[1].name, "Quiet");
  for (std::size_t i = 0; i < std::size(names); ++i)
    EXPECT_EQ(std::string(welcome.players[2 + i].name), names[i].relayed) << i;

  players.clear();
  release_peer_session(quiet);
  release_peer_session(host);
}

// The listing counts the players whose seats yield apart, so that a game
// of computer players does not look full to a person.
TEST(SessionLayer, TheListingCountsComputerPlayersApart) {
  const uint16_t port = test_game_port();
  PeerSession* host = open_host(port);
  ASSERT_NE(host, nullptr);
  PeerSession* computer = nullptr;
  uint32_t computer_id = 0;
  {
    ServedHost served(host);
    computer_id = join_game(port, computer, "Bot");
  }
  ASSERT_NE(computer_id, 0u);
  PeerSession* lister = create_peer_session({port, static_cast<uint16_t>(port + 1), 0});
  for (bool yields : {false, true}) {
    SCOPED_TRACE(yields);
    ASSERT_TRUE(set_seat_yields(host, computer_id, yields));
    ServedHost served(host);
    SessionDescription described;
    ASSERT_TRUE(list_game(lister, described));
    EXPECT_EQ(described.current_players, 2);
    EXPECT_EQ(described.computer_players, yields ? 1 : 0);
    EXPECT_STREQ(described.session_name, "Hostess's game");
  }
  release_peer_session(lister);
  release_peer_session(computer);
  release_peer_session(host);
}

// A plain UDP socket on the loopback, as the list's proof port or a
// program that lists one address would use.
struct Datagrams {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  ~Datagrams() { close(fd); }
  void send_to(uint16_t port, const Bytes& bytes) const {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
  // The next datagram within wait_ms and the port it came from; empty when none.
  Bytes receive(uint16_t& from_port, int wait_ms = 500) const {
    timeval wait{0, wait_ms * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    uint8_t bytes[256];
    sockaddr_in from{};
    socklen_t size = sizeof from;
    const ssize_t got = recvfrom(fd, bytes, sizeof bytes, 0, reinterpret_cast<sockaddr*>(&from), &size);
    from_port = ntohs(from.sin_port);
    return got > 0 ? Bytes(bytes, bytes + got) : Bytes{};
  }
};

Bytes proof_datagram(uint8_t version = 1, std::size_t size = 21) {
  Bytes proof = {'M', 'R', 'V', 'P', version};
  for (uint8_t i = 0; proof.size() < size; ++i) proof.push_back(static_cast<uint8_t>(0xA0 + i));
  proof.resize(size);
  return proof;
}

// The game port answers the list's proof with its echo and a discovery query
// with the listing's reply, both from the game port itself, while the game
// goes on over ENet on the same port; datagrams that only look like ours
// get no answer and change nothing.
TEST(SessionLayer, TheGamePortEchoesProofsAndAnswersQueriesBesideEnet) {
  const uint16_t port = test_game_port();
  PeerSession* host = open_host(port);
  ASSERT_NE(host, nullptr);
  PeerSession* client = nullptr;
  uint32_t client_id = 0;
  {
    ServedHost served(host);
    client_id = join_game(port, client, "Guest");
  }
  ASSERT_NE(client_id, 0u);

  Datagrams list;
  Bytes hostile[] = {
      proof_datagram(1, 20), proof_datagram(1, 22), proof_datagram(2), Bytes{'M', 'R', 'V', 'P'},
      Bytes{'M', 'R', 'V', 'Q', 1}, Bytes(kDiscoveryQuerySize + 1, 0), Bytes{'M', 'R', 'V'}, Bytes{0xFF},
      Bytes(600, 0x4D)};
  hostile[5][0] = 'M', hostile[5][1] = 'R', hostile[5][2] = 'V', hostile[5][3] = 'Q', hostile[5][4] = 1;
  {
    ServedHost served(host);
    for (const Bytes& datagram : hostile) list.send_to(port, datagram);
    uint16_t from = 0;
    EXPECT_TRUE(list.receive(from, 300).empty()) << "a malformed datagram was answered";

    list.send_to(port, proof_datagram());
    Bytes echo = list.receive(from);
    EXPECT_EQ(from, port);
    Bytes expected = proof_datagram();
    std::memcpy(expected.data(), "MRVE", 4);
    EXPECT_EQ(echo, expected);

    const auto query = encode_discovery_query();
    list.send_to(port, Bytes(query.begin(), query.end()));
    const Bytes reply = list.receive(from);
    EXPECT_EQ(from, port);
    DiscoveryReply described;
    ASSERT_TRUE(decode_discovery_reply(reply, described));
    EXPECT_EQ(described.game_port, port);
    EXPECT_EQ(described.current_players, 2);
    EXPECT_EQ(described.instance, hosted_instance(host));
    EXPECT_STREQ(described.session_name, "Hostess's game");
  }

  // The game itself carries on: a message from the client still reaches the
  // host, and nobody joined or left.
  const Bytes chat = game_message(5, client_id, 7);
  ASSERT_TRUE(send(client, client_id, 1, true, chat.data(), chat.size()));
  flush(client);
  bool arrived = false;
  for (int i = 0; i < 100 && !arrived; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    keep_alive(client);
    for (const Received& received : take_all(host, 1)) arrived = arrived || received.bytes == chat;
  }
  EXPECT_TRUE(arrived);
  EXPECT_EQ(count_players(host), 2);
  EXPECT_EQ(count_players(client), 2);
  release_peer_session(client);
  release_peer_session(host);
}

// Peers that break the handshake, join wrongly, or connect and then say
// nothing: nothing they send becomes a player or a message, a wrong join is
// refused with its reason, and idle connections are dropped with a word to
// them within a second (three for an accepted one without a player), so
// that fifteen of them cannot keep a real player out.
TEST(SessionLayer, AHostIgnoresAPeerThatBreaksTheHandshake) {
  const uint16_t port = test_game_port();
  PeerSession* host = open_host(port);
  ASSERT_NE(host, nullptr);
  const uint32_t id = 1;

  RawPeer raw(port);
  auto pump = [&](int rounds) {
    for (int n = 0; n < rounds; ++n) {
      keep_alive(host);
      raw.pump(1);
    }
  };
  pump(50);
  ASSERT_EQ(raw.peer->state, ENET_PEER_STATE_CONNECTED);
  const Bytes junk[] = {{}, {0}, {99, 1, 2}, {7, 3, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0},  // a game message
                        {4, 'E', 'v', 'e'}, {6, 3, 0, 0, 0}, Bytes(4000, 7)};
  for (const Bytes& bytes : junk) raw.send(bytes);
  pump(50);
  EXPECT_EQ(message_count(host, id), 0u);
  EXPECT_EQ(count_players(host), 1);

  Bytes join(kJoinPacketSize);
  encode_join(SessionInstance{}, join);  // not this session's instance
  raw.send(join);
  pump(50);
  char reason[kRefusalTextSize];
  ASSERT_TRUE(decode_refuse(raw.last, reason));
  EXPECT_STREQ(reason, "That game has ended; list the games again.");

  // Join requests that are not this protocol's: each is answered with the
  // reason, then the connection is closed.
  struct BadJoin {
    Bytes bytes;
    const char* reason;
  };
  Bytes wrong_magic = join, other_version = join, longer = join;
  wrong_magic[2] = 'X';
  other_version[5] = kSessionProtocolVersion + 1;
  other_version.resize(40);  // another version may well have another length
  longer.push_back(0);
  const BadJoin bad_joins[] = {
      {wrong_magic, "This is not a request to join a Morvane game."},
      {other_version, "This program speaks another version of the game."},
      {longer, "The request to join has the wrong length."},
      {Bytes(join.begin(), join.begin() + 10), "The request to join has the wrong length."},
      {Bytes{1, 'M', 'R'}, "The request to join has the wrong length."},
  };
  ServedHost served(host);
  std::vector<std::unique_ptr<RawPeer>> joiners;
  for (std::size_t i = 0; i < std::size(bad_joins); ++i) joiners.push_back(std::make_unique<RawPeer>(port));
  auto pump_all = [](std::vector<std::unique_ptr<RawPeer>>& peers, double seconds, auto until) {
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (Clock::now() < end && !until()) {
      for (auto& peer : peers) peer->pump();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  };
  auto all_connected = [](const std::vector<std::unique_ptr<RawPeer>>& peers) {
    for (const auto& peer : peers)
      if (peer->connected == Clock::time_point{}) return false;
    return true;
  };
  pump_all(joiners, 2.0, [&] { return all_connected(joiners); });
  for (std::size_t i = 0; i < joiners.size(); ++i) joiners[i]->send(bad_joins[i].bytes);
  pump_all(joiners, 3.0, [&] {
    for (const auto& peer : joiners)
      if (peer->disconnected == Clock::time_point{}) return false;
    return true;
  });
  for (std::size_t i = 0; i < joiners.size(); ++i) {
    ASSERT_TRUE(decode_refuse(joiners[i]->last, reason)) << i;
    EXPECT_STREQ(reason, bad_joins[i].reason);
    EXPECT_NE(joiners[i]->disconnected, Clock::time_point{}) << "still connected after refusal " << i;
  }

  // Fifteen connections that never ask to join, and one accepted that never
  // creates its player: a real player still gets in, the idle ones are
  // told to go within about a second, the accepted one within about three.
  SessionInstance instance;
  PeerSession* lister = create_peer_session({port, static_cast<uint16_t>(port + 1), 0});
  ASSERT_TRUE(list_game(lister, instance));
  release_peer_session(lister);
  std::vector<std::unique_ptr<RawPeer>> idle;
  for (int i = 0; i < 16; ++i) idle.push_back(std::make_unique<RawPeer>(port));
  pump_all(idle, 2.0, [&] { return all_connected(idle); });
  ASSERT_TRUE(all_connected(idle));
  RawPeer& silent_player = *idle.back();
  encode_join(instance, join);
  silent_player.send(join);
  PeerSession* player = nullptr;
  const uint32_t player_id = join_game(port, player, "Latecomer");
  EXPECT_EQ(player_id, 2u) << "idle connections kept a real player out";
  const auto start = Clock::now();
  while (seconds_between(start, Clock::now()) < 4.5) {
    for (auto& peer : idle) peer->pump();
    keep_alive(player);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  served.stop();
  for (std::size_t i = 0; i + 1 < idle.size(); ++i) {
    ASSERT_NE(idle[i]->disconnected, Clock::time_point{}) << "idle connection " << i << " was never told to go";
    const double lasted = seconds_between(idle[i]->connected, idle[i]->disconnected);
    EXPECT_GT(lasted, 0.8);
    EXPECT_LT(lasted, 2.5);
  }
  ASSERT_NE(silent_player.accepted, Clock::time_point{});
  ASSERT_NE(silent_player.disconnected, Clock::time_point{}) << "an accepted connection without a player stayed";
  const double waited = seconds_between(silent_player.accepted, silent_player.disconnected);
  EXPECT_GT(waited, 2.5);
  EXPECT_LT(waited, 4.5);
  // The player stayed through it all.
  EXPECT_EQ(count_players(host), 2);
  for (const Received& message : take_all(player, player_id)) EXPECT_NE(message.from, 0u) << "a notice reached the player";

  release_peer_session(player);
  idle.clear();
  joiners.clear();
  release_peer_session(host);
}

// A client that takes no messages for more than five seconds, longer than
// any limit the host sets on connections that are not players (its window
// inactive: it only keeps the session alive), stays in the game and loses
// nothing that matters:
// every chat line in order, only the newest status of each writer, and once
// the ring is full the places kept for system messages still take a join.
TEST(SessionLayer, AnInactiveGameKeepsWhatMattersAndOnlyTheNewestStatus) {
  const uint16_t port = test_game_port();
  PeerSession* host = open_host(port);
  ASSERT_NE(host, nullptr);
  PeerSession* client = nullptr;
  uint32_t client_id = 0;
  {
    ServedHost served(host);
    client_id = join_game(port, client, "Guest");
  }
  ASSERT_EQ(client_id, 2u);
  take_all(host, 1);  // the host's own notice of the join

  auto relay = [&](const Bytes& bytes) { return send(host, 1, client_id, true, bytes.data(), bytes.size()); };
  uint32_t chats = 0, last_status[2] = {};
  const uint32_t writers[2] = {1, 7};
  const auto start = Clock::now();
  for (uint32_t n = 1; seconds_between(start, Clock::now()) < 5.5; ++n) {
    for (int w = 0; w < 2; ++w) ASSERT_TRUE(relay(game_message(kGameStatusType, writers[w], last_status[w] = n)));
    if (n % 10 == 0) {
      ASSERT_TRUE(relay(game_message(0, 1, chats++)));
    }
    keep_alive(host);
    keep_alive(client);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // Then more chat lines than the ring holds, and a last status.
  const std::size_t game_places = kMessageQueueCapacity - kSystemMessageReserve;
  for (std::size_t n = 0; n < game_places; ++n) ASSERT_TRUE(relay(game_message(0, 1, chats++)));
  for (int n = 0; n < 3000 && message_count(client, client_id) < game_places; ++n) {
    keep_alive(host);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(relay(game_message(kGameStatusType, 7, last_status[1] = 999999)));
  for (int n = 0; n < 200; ++n) {
    keep_alive(host);
    keep_alive(client);
  }
  // A third player joins: its notice finds the place kept for it.
  PeerSession* latecomer = nullptr;
  {
    ServedHost served(host);
    EXPECT_EQ(join_game(port, latecomer, "Latecomer"), 3u);
  }
  for (int n = 0; n < 200; ++n) {
    keep_alive(host);
    keep_alive(client);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  const std::vector<Received> waiting = take_all(client, client_id);
  ASSERT_EQ(waiting.size(), game_places + 1);
  uint32_t next_chat = 0, statuses[2] = {};
  for (std::size_t i = 0; i + 1 < waiting.size(); ++i) {
    const Bytes& bytes = waiting[i].bytes;
    EXPECT_EQ(waiting[i].from, 1u);
    const uint32_t counter = le32_at(bytes, bytes.size() - 4);
    if (le32_at(bytes, 0) == kGameStatusType) {
      ++statuses[le32_at(bytes, 8) == 7];
      EXPECT_EQ(counter, last_status[le32_at(bytes, 8) == 7]) << "an old status was delivered";
    } else {
      EXPECT_EQ(counter, next_chat++) << "a chat line was lost or moved";
    }
  }
  EXPECT_EQ(statuses[0], 1u);
  EXPECT_EQ(statuses[1], 1u);
  // The first chat line waited the whole time; a status only since the
  // newest took its place, and the system notice since the latecomer joined.
  std::size_t first_chat = 0;
  while (le32_at(waiting[first_chat].bytes, 0) == kGameStatusType) ++first_chat;
  EXPECT_GT(waiting[first_chat].waited_ms, 5000u);
  for (std::size_t i = 0; i < first_chat; ++i) EXPECT_LT(waiting[i].waited_ms, 4000u);
  EXPECT_LT(waiting.back().waited_ms, 4000u);
  EXPECT_EQ(next_chat, game_places - 2);
  const Received& notice = waiting.back();
  EXPECT_EQ(notice.from, 0u);
  EXPECT_EQ(le32_at(notice.bytes, 0), kSystemCreatePlayer);
  EXPECT_EQ(le32_at(notice.bytes, 4), 3u);

  // The client was never dropped, and the emptied ring takes messages again.
  EXPECT_EQ(count_players(host), 3);
  ASSERT_TRUE(relay(game_message(0, 1, 12345)));
  std::vector<Received> after;
  for (int n = 0; n < 500 && after.empty(); ++n) {
    keep_alive(host);
    after = take_all(client, client_id);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(le32_at(after[0].bytes, 268), 12345u);
  EXPECT_LT(after[0].waited_ms, 1000u);

  // The machine's wall clock is set 10 s forward, then 10 s back (a time
  // server's step, a virtual machine resumed). ENet tells time by it; yet
  // nobody is dropped, and the relays go on arriving.
  const uint32_t enet_before = enet_time_get();
  for (const int32_t step_ms : {10000, -10000}) {
    g_wall_clock_step_ms += step_ms;
    if (step_ms > 0) {
      EXPECT_GE(enet_time_get() - enet_before, 10000u) << "the step did not reach ENet";
    }
    std::vector<Received> relayed;
    const auto stepped = Clock::now();
    for (uint32_t n = 0; seconds_between(stepped, Clock::now()) < 1.0; ++n) {
      ASSERT_TRUE(relay(game_message(0, 1, n)));
      keep_alive(host);
      keep_alive(latecomer);
      for (Received& message : take_all(client, client_id)) relayed.push_back(message);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(count_players(host), 3) << "after a step of " << step_ms << " ms";
    EXPECT_GT(relayed.size(), 20u);
    for (const Received& message : relayed) EXPECT_NE(message.from, 0u) << "a notice after a step of " << step_ms;
    for (const Received& message : take_all(host, 1))
      EXPECT_NE(le32_at(message.bytes, 0), kSystemDestroyPlayer) << "a player dropped after a step of " << step_ms;
  }

  release_peer_session(latecomer);
  release_peer_session(client);
  release_peer_session(host);
}


// ---------------------------------------------------------------------------
// The host's clocks: a full game, a player fallen silent, and idle
// connections told to go

// A UDP relay between one program and the host that delays every datagram
// by 150 ms each way, as a distant link does (so that ENet's own retries back
// off slowly), and that can cut the program's side: from then on nothing it
// sends reaches the host. The test's loop pumps it.
class DelayingRelay {
 public:
  explicit DelayingRelay(uint16_t host_port) {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
    socklen_t length = sizeof local;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
    port = ntohs(local.sin_port);
    host_.sin_family = AF_INET;
    host_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    host_.sin_port = htons(host_port);
  }
  DelayingRelay(const DelayingRelay&) = delete;
  DelayingRelay& operator=(const DelayingRelay&) = delete;
  ~DelayingRelay() { close(fd_); }

  void pump() {
    const auto now = Clock::now();
    std::array<uint8_t, 4096> buffer{};
    for (;;) {
      sockaddr_in from{};
      socklen_t length = sizeof from;
      const ssize_t n = recvfrom(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &length);
      if (n < 0) break;
      const bool from_host = from.sin_port == host_.sin_port && from.sin_addr.s_addr == host_.sin_addr.s_addr;
      if (!from_host) {
        program_ = from;
        if (cut) continue;
      }
      held_.push_back({now + std::chrono::milliseconds(150), !from_host, Bytes(buffer.begin(), buffer.begin() + n)});
    }
    while (!held_.empty() && held_.front().due <= now) {
      const Held& datagram = held_.front();
      const sockaddr_in& to = datagram.to_host ? host_ : program_;
      sendto(fd_, datagram.bytes.data(), datagram.bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
      if (datagram.to_host) last_to_host = Clock::now();
      held_.pop_front();
    }
  }

  uint16_t port = 0;
  bool cut = false;
  Clock::time_point last_to_host{};  // when the host was last sent anything of the program's

 private:
  struct Held {
    Clock::time_point due;
    bool to_host;
    Bytes bytes;
  };
  int fd_ = -1;
  sockaddr_in host_{}, program_{};
  std::deque<Held> held_;
};

// Whether a system message of the type about the player has arrived.
bool noticed(const std::vector<Received>& messages, uint32_t type, uint32_t player_id) {
  for (const Received& message : messages)
    if (message.from == 0 && message.bytes.size() >= 8 && le32_at(message.bytes, 0) == type &&
        le32_at(message.bytes, 4) == player_id)
      return true;
  return false;
}

// A game of three is full with the host, a quiet player and a third who
// later falls silent. A Join naming an old game is told that game has
// ended, full or not; one naming this game is told it is full. Then the
// third sends nothing more at all, over a slow link: the host drops it and
// announces it to everyone 6 s after the last of its datagrams arrived,
// before ENet's own time-out would. The quiet player, who sends no packets
// of its own but acknowledges the host's, stays throughout.
TEST(SessionLayer, AFullGameRefusesOldJoinsAndDropsASilentPlayerAfterSixSeconds) {
  const uint16_t port = test_game_port();
  PeerSession* host = create_peer_session({port, static_cast<uint16_t>(port + 1), 0});
  uint32_t host_id = 0;
  ASSERT_TRUE(host && initialize_internet(host, "") && open_new_session(host, "Hostess's game", 3) &&
              create_local_player(host, "Hostess", true, host_id));
  SessionInstance instance;
  PeerSession* quiet = nullptr;
  uint32_t quiet_id = 0;
  {
    ServedHost served(host);
    PeerSession* lister = create_peer_session({port, static_cast<uint16_t>(port + 1), 0});
    ASSERT_TRUE(list_game(lister, instance));
    release_peer_session(lister);
    quiet_id = join_game(port, quiet, "Quiet");
  }
  ASSERT_EQ(quiet_id, 2u);

  DelayingRelay relay(port);
  auto silent = std::make_unique<RawPeer>(relay.port);
  std::vector<Received> at_host, at_quiet;
  auto serve = [&] {
    keep_alive(host);
    keep_alive(quiet);
    relay.pump();
    silent->pump();
    for (Received& message : take_all(host, host_id)) at_host.push_back(std::move(message));
    for (Received& message : take_all(quiet, quiet_id)) at_quiet.push_back(std::move(message));
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  auto serve_until = [&](double seconds, auto done) {
    const auto start = Clock::now();
    while (!done() && seconds_between(start, Clock::now()) < seconds) serve();
    return done();
  };
  ASSERT_TRUE(serve_until(3.0, [&] { return silent->is_connected(); }));
  Bytes packet(kJoinPacketSize);
  encode_join(instance, packet);
  silent->send(packet);
  ASSERT_TRUE(serve_until(3.0, [&] { return silent->accepted != Clock::time_point{}; }));
  packet.assign(1 + kPlayerNameSize, 0);
  packet.resize(encode_create_player("Silent", packet));
  silent->send(packet);
  ASSERT_TRUE(serve_until(3.0, [&] { return noticed(at_host, kSystemCreatePlayer, 3); }));
  EXPECT_EQ(count_players(host), 3);

  // A status the host relays unguaranteed reaches the quiet player (two
  // channels) and the silent one; the silent player's program asked for a
  // single channel, and gets it reliable on channel 0 as it always did.
  const Bytes status = game_message(kGameStatusType, host_id, 4242);
  Bytes framed_status(1 + status.size());
  framed_status.resize(encode_framed(PacketKind::Game, status, framed_status));
  ASSERT_TRUE(send(host, host_id, 0, false, status.data(), status.size()));
  auto quiet_has_status = [&] {
    for (const Received& message : at_quiet)
      if (message.bytes == status) return true;
    return false;
  };
  ASSERT_TRUE(serve_until(3.0, [&] { return silent->last == framed_status && quiet_has_status(); }));
  EXPECT_EQ(silent->last_channel, 0);
  EXPECT_TRUE(silent->last_reliable);

  // The game is full: an old game's Join hears that the game has ended.
  auto stale = std::make_unique<RawPeer>(port), late = std::make_unique<RawPeer>(port);
  auto serve_both = [&](double seconds, auto done) {
    return serve_until(seconds, [&] {
      stale->pump();
      late->pump();
      return done();
    });
  };
  ASSERT_TRUE(serve_both(3.0, [&] { return stale->is_connected() && late->is_connected(); }));
  Bytes stale_join(kJoinPacketSize);
  encode_join(SessionInstance{}, stale_join);
  stale->send(stale_join);
  Bytes join(kJoinPacketSize);
  encode_join(instance, join);
  late->send(join);
  char reason[kRefusalTextSize];
  ASSERT_TRUE(serve_both(3.0, [&] { return decode_refuse(stale->last, reason) && decode_refuse(late->last, reason); }));
  ASSERT_TRUE(decode_refuse(stale->last, reason));
  EXPECT_STREQ(reason, "That game has ended; list the games again.");
  ASSERT_TRUE(decode_refuse(late->last, reason));
  EXPECT_EQ(std::string(reason).rfind("The game is full", 0), 0u) << reason;

  // The third player's statuses, twenty a second for a second, then silence.
  for (uint32_t n = 0; n < 20; ++n) {
    const Bytes status = game_message(kGameStatusType, 3, n);
    Bytes framed(1 + status.size());
    framed.resize(encode_framed(PacketKind::Game, status, framed));
    silent->send(framed);
    serve_until(0.05, [] { return false; });
  }
  // The host measures each player's round trip: the third's crosses the
  // slow relay twice. Its own player, an id of no connection and a client
  // asking have none.
  EXPECT_GE(round_trip_ms(host, 3), 250u);
  EXPECT_LT(round_trip_ms(host, 3), 1000u);
  EXPECT_EQ(round_trip_ms(host, host_id), 0u);
  EXPECT_EQ(round_trip_ms(host, 99), 0u);
  EXPECT_EQ(round_trip_ms(quiet, host_id), 0u);
  relay.cut = true;
  serve_until(0.3, [] { return false; });  // what was on its way arrives
  const Clock::time_point last_heard = relay.last_to_host;
  ASSERT_NE(last_heard, Clock::time_point{});
  Clock::time_point announced{};
  serve_until(9.0, [&] {
    if (noticed(at_host, kSystemDestroyPlayer, 3)) announced = Clock::now();
    return announced != Clock::time_point{};
  });
  ASSERT_NE(announced, Clock::time_point{}) << "the silent player was never announced as gone";
  const double silence = seconds_between(last_heard, announced);
  EXPECT_GT(silence, 5.8);
  EXPECT_LT(silence, 6.4);
  EXPECT_TRUE(serve_until(1.0, [&] { return noticed(at_quiet, kSystemDestroyPlayer, 3); })) << "the others were not told";
  EXPECT_EQ(count_players(host), 2);
  EXPECT_FALSE(noticed(at_host, kSystemDestroyPlayer, quiet_id)) << "the quiet player was dropped";

  silent.reset();
  stale.reset();
  late.reset();
  release_peer_session(quiet);
  release_peer_session(host);
}

// Whether an ENet datagram carries a disconnection: its header (the peer id,
// and the sent time when the top bit says so), then commands of fixed sizes,
// those that carry data followed by it.
bool carries_disconnection(const uint8_t* bytes, std::size_t size) {
  constexpr std::size_t kCommandSize[13] = {0, 8, 48, 44, 8, 4, 6, 8, 24, 8, 12, 16, 24};
  constexpr int kDisconnect = 4;
  if (size < 2 || (bytes[0] & 0x40) != 0) return false;  // compressed: never used here
  std::size_t at = (bytes[0] & 0x80) != 0 ? 4 : 2;
  while (at + 4 <= size) {
    const int command = bytes[at] & 0x0F;
    if (command == 0 || command > 12) return false;
    if (command == kDisconnect) return true;
    std::size_t length = kCommandSize[command];
    const int data_length_at = command == 6 ? 4 : (command >= 7 && command <= 9) || command == 12 ? 6 : 0;
    if (data_length_at != 0) {
      if (at + length > size) return false;
      length += static_cast<std::size_t>(bytes[at + data_length_at] << 8 | bytes[at + data_length_at + 1]);
    }
    at += length;
  }
  return false;
}

// A connection that never asks to join is told to go after about a second.
// The host then keeps it up to a second more for its goodbye, repeating
// the disconnection while no acknowledgement comes, and forgets it after
// that: nothing more is sent to it. The connection here stops answering
// once connected; its datagrams are read off its socket as they come.
// The host relays a status on the channel of its writer's seat, so that
// ENet drops a status only for a newer one of the same player: to a program
// that asks for ten channels, the first seat's statuses on channel 2, the
// second's on 3, unguaranteed, and a status resent guaranteed on its seat's
// channel too, in order with that player's others. A program of two
// channels gets every status on channel 1 unguaranteed and a resent one on
// channel 0, as its document said; everything else goes on channel 0.
TEST(SessionLayer, StatusesTravelOnTheChannelOfTheirWritersSeat) {
  const uint16_t port = test_game_port();
  PeerSession* host = open_host(port);
  ASSERT_TRUE(host);
  const SessionInstance instance = hosted_instance(host);
  auto wide = std::make_unique<RawPeer>(port, 10), narrow = std::make_unique<RawPeer>(port, 2);
  auto serve_until = [&](auto done) {
    for (const auto start = Clock::now(); !done() && seconds_between(start, Clock::now()) < 3.0;) {
      keep_alive(host);
      wide->pump(1);
      narrow->pump(1);
    }
    return done();
  };
  for (RawPeer* raw : {wide.get(), narrow.get()}) {
    ASSERT_TRUE(serve_until([&] { return raw->is_connected(); }));
    Bytes packet(kJoinPacketSize);
    encode_join(instance, packet);
    raw->send(packet);
    ASSERT_TRUE(serve_until([&] { return raw->accepted != Clock::time_point{}; }));
    packet.assign(1 + kPlayerNameSize, 0);
    packet.resize(encode_create_player("Raw", packet));
    raw->send(packet);
    ASSERT_TRUE(serve_until([&] { return count_players(host) == (raw == wide.get() ? 2 : 3); }));
  }
  wide->arrivals.clear();
  narrow->arrivals.clear();
  struct Relay {
    Bytes message;
    bool guaranteed;
  };
  const Relay relays[] = {{game_message(kGameStatusType, 1, 10), false},
                          {game_message(kGameStatusType, 2, 11), false},
                          {game_message(kGameStatusType, 2, 12), true},
                          {game_message(0, 1, 13), true}};
  for (const Relay& relay : relays)
    ASSERT_TRUE(send(host, 1, 0, relay.guaranteed, relay.message.data(), relay.message.size()));
  ASSERT_TRUE(serve_until([&] { return wide->arrivals.size() >= 4 && narrow->arrivals.size() >= 4; }));
  struct Expected {
    uint32_t counter;
    uint8_t channel;
    bool reliable;
  };
  auto check = [](const RawPeer& raw, std::initializer_list<Expected> expected) {
    ASSERT_EQ(raw.arrivals.size(), expected.size());
    std::size_t n = 0;
    for (const Expected& e : expected) {
      const RawPeer::Arrival& got = raw.arrivals[n++];
      EXPECT_EQ(le32_at(got.bytes, got.bytes.size() - 4), e.counter);
      EXPECT_EQ(got.channel, e.channel) << "relay " << e.counter;
      EXPECT_EQ(got.reliable, e.reliable) << "relay " << e.counter;
    }
  };
  serve_until([] { return false; });
  check(*wide, {{10, 2, false}, {11, 3, false}, {12, 3, true}, {13, 0, true}});
  check(*narrow, {{10, 1, false}, {11, 1, false}, {12, 0, true}, {13, 0, true}});
  release_peer_session(host);
}

TEST(SessionLayer, AnIdleConnectionToldToGoIsKeptUpToASecondForItsGoodbye) {
  const uint16_t port = test_game_port();
  PeerSession* host = open_host(port);
  ASSERT_NE(host, nullptr);
  RawPeer idle(port);
  for (int n = 0; n < 2000 && !idle.is_connected(); ++n) {
    keep_alive(host);
    idle.pump(1);
  }
  ASSERT_TRUE(idle.is_connected());
  std::vector<double> goodbyes, datagrams;  // seconds after the connection
  std::array<uint8_t, 4096> buffer{};
  while (seconds_between(idle.connected, Clock::now()) < 4.5) {
    keep_alive(host);
    for (;;) {
      const ssize_t n = recv(idle.host->socket, buffer.data(), buffer.size(), MSG_DONTWAIT);
      if (n < 0) break;
      const double at = seconds_between(idle.connected, Clock::now());
      datagrams.push_back(at);
      if (carries_disconnection(buffer.data(), static_cast<std::size_t>(n))) goodbyes.push_back(at);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_FALSE(goodbyes.empty()) << "the idle connection was never told to go";
  EXPECT_GT(goodbyes.front(), 0.8);
  EXPECT_LT(goodbyes.front(), 2.5);
  EXPECT_GT(goodbyes.back() - goodbyes.front(), 0.25) << "the goodbye was not repeated while it went unanswered";
  // ENet repeats it ever less often (at about 5, 15, 35 ... 635 ms here, next
  // at about 1.3 s), so a second of grace ends between two repeats.
  EXPECT_LT(datagrams.back() - goodbyes.front(), 1.15) << "the connection was kept after its second of grace";
  release_peer_session(host);
}

}  // namespace

// A game of a public list is asked at its address without waiting: the
// host answers (here on its discovery port, the fallback) with its instance
// and players, the round trip is measured, and a listed game that is not
// there stays unanswered.
TEST(GameProbe, ListedGamesAnswerWithTheirInstanceAndRoundTrip) {
  const uint16_t port = test_game_port();
  PeerSession* host = open_host(port);
  ASSERT_NE(host, nullptr);
  GameProbe* probe = create_game_probe(static_cast<uint16_t>(port + 1));
  ASSERT_NE(probe, nullptr);
  ListedGames games;
  games.count = 2;
  games.games[0].host = htonl(INADDR_LOOPBACK);
  games.games[0].port = static_cast<uint16_t>(port + 2);  // no game there
  games.games[1].host = htonl(INADDR_LOOPBACK);
  games.games[1].port = port;
  probe_games(probe, games);
  const auto start = std::chrono::steady_clock::now();
  while (!probe_result(probe, 1).answered && std::chrono::steady_clock::now() - start < std::chrono::seconds(3)) {
    keep_alive(host);
    poll_game_probe(probe);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const ProbeResult& found = probe_result(probe, 1);
  ASSERT_TRUE(found.answered);
  EXPECT_EQ(found.reply.instance, hosted_instance(host));
  EXPECT_EQ(found.reply.current_players, 1);
  EXPECT_STREQ(found.reply.session_name, "Hostess's game");
  EXPECT_LT(found.round_trip_ms, 1000u);
  EXPECT_FALSE(probe_result(probe, 0).answered) << "the reply names another game port";
  EXPECT_FALSE(probe_result(probe, 5).answered);
  release_game_probe(probe);
  release_peer_session(host);
}
