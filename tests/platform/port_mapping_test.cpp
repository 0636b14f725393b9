// The router's port mapping: its life with fake routers in place of the
// NAT-PMP and UPnP clients, stepped on a clock of the test's own.
#include "platform/port_mapping.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <deque>
#include <string>
#include <thread>
#include <vector>

namespace {

using platform::PortMapper;
using platform::RouterAnswer;
using platform::RouterCalls;

struct MapCall {
  uint16_t internal_port;
  uint16_t external_port;
  uint32_t lifetime_s;
};

// Answers from a script, then the last one for good; keeps every request.
struct FakeRouter {
  std::deque<RouterAnswer> script;
  RouterAnswer then{};  // NoAnswer unless set
  std::vector<MapCall> maps;
  std::vector<uint16_t> unmapped;  // the external ports removed

  static RouterAnswer map(void* context, uint16_t internal_port, uint16_t external_port,
                          uint32_t lifetime_s) {
    auto& router = *static_cast<FakeRouter*>(context);
    router.maps.push_back({internal_port, external_port, lifetime_s});
    if (router.script.empty()) return router.then;
    const RouterAnswer answer = router.script.front();
    router.script.pop_front();
    return answer;
  }
  static void unmap(void* context, uint16_t, uint16_t external_port) {
    static_cast<FakeRouter*>(context)->unmapped.push_back(external_port);
  }
};

RouterAnswer mapped(uint16_t port, uint32_t lifetime_s, const char* address = "203.0.113.7") {
  RouterAnswer answer;
  answer.kind = RouterAnswer::Kind::Mapped;
  answer.external_port = port;
  answer.lifetime_s = lifetime_s;
  std::snprintf(answer.external_address, sizeof answer.external_address, "%s", address);
  return answer;
}

RouterAnswer refused(const char* reason) {
  RouterAnswer answer;
  answer.kind = RouterAnswer::Kind::Refused;
  std::snprintf(answer.reason, sizeof answer.reason, "%s", reason);
  return answer;
}

struct TwoRouters {
  FakeRouter natpmp;
  FakeRouter upnp;
  RouterCalls calls[2] = {{"NAT-PMP", &natpmp, FakeRouter::map, FakeRouter::unmap},
                          {"UPnP", &upnp, FakeRouter::map, FakeRouter::unmap}};
};

std::string take_news(PortMapper& mapper) {
  if (!mapper.news) return "";
  mapper.news = false;
  return mapper.outcome;
}

}  // namespace

// Mapped by NAT-PMP, renewed at half its life and not before, kept through a
// router that stops answering until the mapping expires, then asked afresh
// (here UPnP, for good) and removed from that router at the end.
TEST(PortMapping, IsRenewedAtHalfLifeAskedAfreshWhenLostAndRemovedAtTheEnd) {
  TwoRouters routers;
  routers.natpmp.script = {mapped(24640, 3600), mapped(24640, 3600)};
  routers.upnp.then = mapped(24640, 0, "198.51.100.2");
  PortMapper mapper;
  platform::start_mapper(mapper, 24640, routers.calls, 2);

  EXPECT_DOUBLE_EQ(platform::step_mapper(mapper, 100), 1900);
  EXPECT_EQ(take_news(mapper), "UDP port 24640 is open on the router at 203.0.113.7 (NAT-PMP)");
  ASSERT_EQ(routers.natpmp.maps.size(), 1u);
  EXPECT_EQ(routers.natpmp.maps[0].internal_port, 24640);
  EXPECT_EQ(routers.natpmp.maps[0].external_port, 24640);  // the same port outside when it can
  EXPECT_EQ(routers.natpmp.maps[0].lifetime_s, platform::kMappingLifetimeS);
  EXPECT_TRUE(routers.upnp.maps.empty());

  platform::step_mapper(mapper, 1899);
  EXPECT_EQ(routers.natpmp.maps.size(), 1u);  // not yet
  EXPECT_DOUBLE_EQ(platform::step_mapper(mapper, 1900), 3700);
  EXPECT_EQ(routers.natpmp.maps.size(), 2u);
  EXPECT_EQ(take_news(mapper), "");  // a renewal that changes nothing is no news

  // The router falls silent: tried again each minute while the mapping
  // lives (it expires at 1900 + 3600), then every router is asked again.
  EXPECT_DOUBLE_EQ(platform::step_mapper(mapper, 3700), 3700 + platform::kRenewalRetryS);
  EXPECT_EQ(mapper.state, PortMapper::State::Mapped);
  double next = 3760;
  while (routers.upnp.maps.empty() && next <= 5500) {
    EXPECT_EQ(mapper.state, PortMapper::State::Mapped);
    next = platform::step_mapper(mapper, next);
  }
  // 29 retries a minute apart and one at the expiry, then NAT-PMP once more.
  EXPECT_EQ(routers.natpmp.maps.size(), 2u + 1u + 29u + 1u + 1u);
  EXPECT_EQ(mapper.state, PortMapper::State::Mapped);
  ASSERT_EQ(routers.upnp.maps.size(), 1u);
  EXPECT_EQ(take_news(mapper), "UDP port 24640 is open on the router at 198.51.100.2 (UPnP)");
  EXPECT_GE(platform::step_mapper(mapper, 1e9), platform::kNeverS);  // for good: never renewed
  EXPECT_EQ(routers.upnp.maps.size(), 1u);

  platform::end_mapper(mapper);
  EXPECT_TRUE(routers.natpmp.unmapped.empty());
  ASSERT_EQ(routers.upnp.unmapped.size(), 1u);
  EXPECT_EQ(routers.upnp.unmapped[0], 24640);
  EXPECT_EQ(mapper.state, PortMapper::State::Removed);
  platform::end_mapper(mapper);  // once only
  EXPECT_EQ(routers.upnp.unmapped.size(), 1u);
}

// A router that gives another port outside says so, and is asked for that
// port again at each renewal.
TEST(PortMapping, AnotherPortOutsideIsToldAndKept) {
  TwoRouters routers;
  routers.natpmp.then = mapped(24650, 120);
  PortMapper mapper;
  platform::start_mapper(mapper, 24640, routers.calls, 2);
  platform::step_mapper(mapper, 0);
  EXPECT_EQ(take_news(mapper), "UDP port 24640 is open on the router at 203.0.113.7 as port 24650 (NAT-PMP)");
  platform::step_mapper(mapper, 60);
  ASSERT_EQ(routers.natpmp.maps.size(), 2u);
  EXPECT_EQ(routers.natpmp.maps[1].external_port, 24650);
  platform::end_mapper(mapper);
  ASSERT_EQ(routers.natpmp.unmapped.size(), 1u);
  EXPECT_EQ(routers.natpmp.unmapped[0], 24650);
}

// No router, or one that refuses: the sentence says why, nothing is removed
// at the end, and nothing more is asked.
TEST(PortMapping, SilenceAndRefusalsAreToldInOneSentence) {
  {
    TwoRouters routers;
    PortMapper mapper;
    platform::start_mapper(mapper, 24640, routers.calls, 2);
    EXPECT_GE(platform::step_mapper(mapper, 0), platform::kNeverS);
    EXPECT_EQ(take_news(mapper),
              "no router answered NAT-PMP or UPnP: the game can be joined from outside only if "
              "port 24640 is forwarded by hand");
    EXPECT_EQ(routers.natpmp.maps.size(), 1u);
    EXPECT_EQ(routers.upnp.maps.size(), 1u);
    platform::step_mapper(mapper, 1e6);
    EXPECT_EQ(routers.natpmp.maps.size(), 1u);
    platform::end_mapper(mapper);
    EXPECT_TRUE(routers.natpmp.unmapped.empty());
    EXPECT_TRUE(routers.upnp.unmapped.empty());
  }
  {
    TwoRouters routers;
    routers.natpmp.then = refused("not authorized");
    PortMapper mapper;
    platform::start_mapper(mapper, 25000, routers.calls, 2);
    platform::step_mapper(mapper, 0);
    EXPECT_EQ(take_news(mapper),
              "the router refused to open UDP port 25000 (NAT-PMP: not authorized): the game can be "
              "joined from outside only if the port is forwarded by hand");
    EXPECT_EQ(routers.upnp.maps.size(), 1u);  // the other protocol was tried too
  }
  {
    // Refused by one protocol, granted by the other.
    TwoRouters routers;
    routers.natpmp.then = refused("not authorized");
    routers.upnp.then = mapped(25000, 3600);
    PortMapper mapper;
    platform::start_mapper(mapper, 25000, routers.calls, 2);
    platform::step_mapper(mapper, 0);
    EXPECT_EQ(take_news(mapper), "UDP port 25000 is open on the router at 203.0.113.7 (UPnP)");
  }
}

// On its own thread: the outcome reaches the caller once, and stopping
// removes the mapping before the thread ends.
TEST(PortMapping, TheServiceTellsTheOutcomeOnceAndRemovesTheMappingWhenStopped) {
  TwoRouters routers;
  routers.natpmp.then = mapped(24651, 3600);
  platform::PortMapping* mapping = platform::start_port_mapping_with(24650, routers.calls, 2);
  ASSERT_NE(mapping, nullptr);
  char text[platform::kMappingTextSize] = {};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  bool told = false;
  while (!told && std::chrono::steady_clock::now() < deadline) {
    told = platform::take_port_mapping_news(mapping, text, sizeof text);
    if (!told) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(told);
  EXPECT_STREQ(text, "UDP port 24650 is open on the router at 203.0.113.7 as port 24651 (NAT-PMP)");
  char address[64] = {};
  uint16_t outside = 0;
  ASSERT_TRUE(platform::port_mapping_outside(mapping, address, sizeof address, outside));
  EXPECT_STREQ(address, "203.0.113.7");
  EXPECT_EQ(outside, 24651);
  EXPECT_FALSE(platform::take_port_mapping_news(mapping, text, sizeof text));
  platform::stop_port_mapping(mapping);
  EXPECT_EQ(routers.natpmp.maps.size(), 1u);
  ASSERT_EQ(routers.natpmp.unmapped.size(), 1u);
  EXPECT_EQ(routers.natpmp.unmapped[0], 24651);
  platform::stop_port_mapping(nullptr);
  EXPECT_FALSE(platform::port_mapping_outside(nullptr, address, sizeof address, outside));
  EXPECT_FALSE(platform::take_port_mapping_news(nullptr, text, sizeof text));
}
