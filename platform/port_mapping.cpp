#include "platform/port_mapping.h"

#include <arpa/inet.h>
#include <natpmp.h>
#include <sys/select.h>

#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>
#include <miniupnpc/upnperrors.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

namespace platform {

namespace {

void set_outcome(PortMapper& mapper, const char* text) {
  if (std::strcmp(mapper.outcome, text) == 0) return;
  std::snprintf(mapper.outcome, sizeof mapper.outcome, "%s", text);
  mapper.news = true;
}

void say_mapped(PortMapper& mapper, const char* protocol) {
  char text[kMappingTextSize];
  if (mapper.external_port == mapper.port)
    std::snprintf(text, sizeof text, "UDP port %u is open on the router at %s (%s)", mapper.port,
                  mapper.external_address, protocol);
  else
    std::snprintf(text, sizeof text, "UDP port %u is open on the router at %s as port %u (%s)",
                  mapper.port, mapper.external_address, mapper.external_port, protocol);
  set_outcome(mapper, text);
}

// The mapping's times from the router's answer: renewed at half its life.
double take_lifetime(PortMapper& mapper, const RouterAnswer& answer, double now_s) {
  if (answer.lifetime_s == 0) {
    mapper.expires_at_s = 0;
    mapper.renew_at_s = kNeverS;
  } else {
    mapper.expires_at_s = now_s + answer.lifetime_s;
    mapper.renew_at_s = now_s + answer.lifetime_s / 2.0;
  }
  return mapper.renew_at_s;
}

// Every router protocol in turn until one maps the port; the first refusal
// is the one told when none does (a router that refuses by one protocol may
// grant by the other).
double ask_routers(PortMapper& mapper, double now_s) {
  char refusal[kMappingTextSize] = {};
  for (int i = 0; i < mapper.router_count; ++i) {
    const RouterCalls& router = mapper.routers[i];
    const RouterAnswer answer = router.map(router.context, mapper.port, mapper.port, kMappingLifetimeS);
    if (answer.kind == RouterAnswer::Kind::Mapped) {
      mapper.state = PortMapper::State::Mapped;
      mapper.mapped_by = i;
      mapper.external_port = answer.external_port;
      std::snprintf(mapper.external_address, sizeof mapper.external_address, "%s",
                    answer.external_address[0] ? answer.external_address : "an unknown address");
      say_mapped(mapper, router.name);
      return take_lifetime(mapper, answer, now_s);
    }
    if (answer.kind == RouterAnswer::Kind::Refused && refusal[0] == '\0')
      std::snprintf(refusal, sizeof refusal,
                    "the router refused to open UDP port %u (%s: %s): the game can be joined from "
                    "outside only if the port is forwarded by hand",
                    mapper.port, router.name, answer.reason[0] ? answer.reason : "no reason given");
  }
  mapper.state = PortMapper::State::Closed;
  mapper.mapped_by = -1;
  if (refusal[0] != '\0') {
    set_outcome(mapper, refusal);
  } else {
    char text[kMappingTextSize];
    std::snprintf(text, sizeof text,
                  "no router answered NAT-PMP or UPnP: the game can be joined from outside only if "
                  "port %u is forwarded by hand",
                  mapper.port);
    set_outcome(mapper, text);
  }
  return kNeverS;
}

double renew(PortMapper& mapper, double now_s) {
  const RouterCalls& router = mapper.routers[mapper.mapped_by];
  const RouterAnswer answer =
      router.map(router.context, mapper.port, mapper.external_port, kMappingLifetimeS);
  if (answer.kind == RouterAnswer::Kind::Mapped) {
    mapper.external_port = answer.external_port;
    if (answer.external_address[0] != '\0')
      std::snprintf(mapper.external_address, sizeof mapper.external_address, "%s",
                    answer.external_address);
    say_mapped(mapper, router.name);  // news only when the port or address moved
    return take_lifetime(mapper, answer, now_s);
  }
  // Not renewed: try again while the mapping lives, then start over (the
  // router may have restarted, or another may serve the network now).
  if (mapper.expires_at_s != 0 && now_s + kRenewalRetryS < mapper.expires_at_s) {
    mapper.renew_at_s = now_s + kRenewalRetryS;
    return mapper.renew_at_s;
  }
  if (mapper.expires_at_s != 0 && now_s < mapper.expires_at_s) {
    mapper.renew_at_s = mapper.expires_at_s;
    return mapper.renew_at_s;
  }
  mapper.state = PortMapper::State::Asking;
  return ask_routers(mapper, now_s);
}

}  // namespace

void start_mapper(PortMapper& mapper, uint16_t port, const RouterCalls* routers, int router_count) {
  mapper = PortMapper{};
  mapper.port = port;
  if (router_count > kMaxRouterProtocols) router_count = kMaxRouterProtocols;
  for (int i = 0; i < router_count; ++i) mapper.routers[i] = routers[i];
  mapper.router_count = router_count < 0 ? 0 : router_count;
}

double step_mapper(PortMapper& mapper, double now_s) {
  switch (mapper.state) {
    case PortMapper::State::Asking:
      return ask_routers(mapper, now_s);
    case PortMapper::State::Mapped:
      if (now_s >= mapper.renew_at_s) return renew(mapper, now_s);
      return mapper.renew_at_s;
    case PortMapper::State::Closed:
    case PortMapper::State::Removed:
      return kNeverS;
  }
  return kNeverS;
}

void end_mapper(PortMapper& mapper) {
  if (mapper.state == PortMapper::State::Mapped) {
    const RouterCalls& router = mapper.routers[mapper.mapped_by];
    router.unmap(router.context, mapper.port, mapper.external_port);
  }
  mapper.state = PortMapper::State::Removed;
  mapper.mapped_by = -1;
}

// ---------------------------------------------------------------------------
// NAT-PMP (libnatpmp): to the default gateway's port 5351. The library's own
// retries would go on for two minutes; a router that has not answered within
// a few seconds is taken not to speak NAT-PMP.

namespace {

constexpr int kNatPmpWaitMs = 3000;
constexpr int kNatPmpRemoveWaitMs = 1000;
constexpr int kUpnpDiscoverMs = 1000;

struct NatPmpRouter {
  const std::atomic<bool>* stopping = nullptr;  // gives up waiting when set
};

using SteadyClock = std::chrono::steady_clock;

// Waits for the answer to the request sent last: 0 with the response, a
// NAT-PMP error, or NATPMP_TRYAGAIN at the time-out (or when stopping).
int natpmp_answer(natpmp_t& natpmp, natpmpresp_t& response, int wait_ms,
                  const std::atomic<bool>* stopping) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(wait_ms);
  for (;;) {
    if (stopping && stopping->load()) return NATPMP_TRYAGAIN;
    const auto now = SteadyClock::now();
    if (now >= deadline) return NATPMP_TRYAGAIN;
    timeval timeout{};
    if (getnatpmprequesttimeout(&natpmp, &timeout) < 0) return NATPMP_ERR_GETTIMEOFDAYERR;
    // At most 100 ms at a time so that a stop is seen soon.
    long wait_us = static_cast<long>(timeout.tv_sec) * 1000000L + timeout.tv_usec;
    if (wait_us > 100000L || wait_us < 0) wait_us = 100000L;
    timeout.tv_sec = 0;
    timeout.tv_usec = wait_us;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(natpmp.s, &readable);
    select(natpmp.s + 1, &readable, nullptr, nullptr, &timeout);
    const int result = readnatpmpresponseorretry(&natpmp, &response);
    if (result != NATPMP_TRYAGAIN) return result;
  }
}

// A refusal from the router itself (its result code) rather than silence.
bool natpmp_refused(int result) {
  return result == NATPMP_ERR_UNSUPPORTEDVERSION || result == NATPMP_ERR_UNSUPPORTEDOPCODE ||
         result == NATPMP_ERR_UNDEFINEDERROR || result == NATPMP_ERR_NOTAUTHORIZED ||
         result == NATPMP_ERR_NETWORKFAILURE || result == NATPMP_ERR_OUTOFRESOURCES;
}

const char* natpmp_reason(int result) {
  switch (result) {
    case NATPMP_ERR_UNSUPPORTEDVERSION: return "unsupported version";
    case NATPMP_ERR_UNSUPPORTEDOPCODE: return "unsupported request";
    case NATPMP_ERR_NOTAUTHORIZED: return "not authorized";
    case NATPMP_ERR_NETWORKFAILURE: return "no connection to the internet";
    case NATPMP_ERR_OUTOFRESOURCES: return "out of resources";
    case NATPMP_ERR_CANNOTGETGATEWAY: return "no default gateway";
    case NATPMP_ERR_NOGATEWAYSUPPORT: return "the gateway does not speak NAT-PMP";
    case NATPMP_TRYAGAIN: return "no answer";
    default: return "an error of its own";
  }
}

RouterAnswer natpmp_fail(int result) {
  RouterAnswer answer;
  answer.kind = natpmp_refused(result) ? RouterAnswer::Kind::Refused : RouterAnswer::Kind::NoAnswer;
  std::snprintf(answer.reason, sizeof answer.reason, "%s", natpmp_reason(result));
  return answer;
}

RouterAnswer natpmp_map(void* context, uint16_t internal_port, uint16_t external_port,
                        uint32_t lifetime_s) {
  const auto& router = *static_cast<NatPmpRouter*>(context);
  natpmp_t natpmp;
  if (initnatpmp(&natpmp, 0, 0) < 0) return natpmp_fail(NATPMP_ERR_CANNOTGETGATEWAY);
  natpmpresp_t response{};
  RouterAnswer answer;
  int result = sendpublicaddressrequest(&natpmp);
  if (result >= 0) result = natpmp_answer(natpmp, response, kNatPmpWaitMs, router.stopping);
  if (result == 0) {
    inet_ntop(AF_INET, &response.pnu.publicaddress.addr, answer.external_address,
              sizeof answer.external_address);
    result = sendnewportmappingrequest(&natpmp, NATPMP_PROTOCOL_UDP, internal_port, external_port,
                                       lifetime_s);
    if (result >= 0) result = natpmp_answer(natpmp, response, kNatPmpWaitMs, router.stopping);
  }
  closenatpmp(&natpmp);
  if (result != 0) return natpmp_fail(result);
  answer.kind = RouterAnswer::Kind::Mapped;
  answer.external_port = response.pnu.newportmapping.mappedpublicport;
  answer.lifetime_s = static_cast<uint32_t>(response.pnu.newportmapping.lifetime);
  // A lifetime of 0 in an answer to a request for one would be a removal;
  // such a mapping is renewed as often as one asked for.
  if (answer.lifetime_s == 0) answer.lifetime_s = lifetime_s;
  return answer;
}

void natpmp_unmap(void*, uint16_t internal_port, uint16_t external_port) {
  natpmp_t natpmp;
  if (initnatpmp(&natpmp, 0, 0) < 0) return;
  natpmpresp_t response{};
  if (sendnewportmappingrequest(&natpmp, NATPMP_PROTOCOL_UDP, internal_port, external_port, 0) >= 0)
    natpmp_answer(natpmp, response, kNatPmpRemoveWaitMs, nullptr);
  closenatpmp(&natpmp);
}

// ---------------------------------------------------------------------------
// UPnP IGD (miniupnpc): the router found by SSDP, then SOAP requests to its
// WAN connection service. What the discovery found is kept for the renewals
// and the removal.

struct UpnpRouter {
  const std::atomic<bool>* stopping = nullptr;  // no discovery once set
  bool found = false;
  UPNPUrls urls{};
  IGDdatas data{};
  char lan_address[64] = {};
};

void upnp_forget(UpnpRouter& router) {
  if (router.found) FreeUPNPUrls(&router.urls);
  const std::atomic<bool>* stopping = router.stopping;
  router = UpnpRouter{};
  router.stopping = stopping;
}

bool upnp_find(UpnpRouter& router, RouterAnswer& answer) {
  if (router.found) return true;
  if (router.stopping && router.stopping->load()) return false;
  int error = 0;
  // Only gateways are looked for, each kind for a second: the library's
  // own list of kinds would keep a stopping game waiting for eight.
  static const char* const kGateways[] = {"urn:schemas-upnp-org:device:InternetGatewayDevice:1",
                                          "urn:schemas-upnp-org:device:InternetGatewayDevice:2",
                                          nullptr};
  UPNPDev* devices = upnpDiscoverDevices(kGateways, kUpnpDiscoverMs, nullptr, nullptr,
                                         UPNP_LOCAL_PORT_ANY, 0, 2, &error, 0);
  if (!devices) return false;
  const int igd = UPNP_GetValidIGD(devices, &router.urls, &router.data, router.lan_address,
                                   sizeof router.lan_address);
  freeUPNPDevlist(devices);
  if (igd == 1) {
    router.found = true;
    return true;
  }
  if (igd != 0) {
    FreeUPNPUrls(&router.urls);
    router.urls = UPNPUrls{};
  }
  if (igd == 2) {
    answer.kind = RouterAnswer::Kind::Refused;
    std::snprintf(answer.reason, sizeof answer.reason, "the router is not connected to the internet");
  }
  return false;
}

RouterAnswer upnp_map(void* context, uint16_t internal_port, uint16_t external_port,
                      uint32_t lifetime_s) {
  auto& router = *static_cast<UpnpRouter*>(context);
  RouterAnswer answer;
  if (!upnp_find(router, answer)) return answer;
  char external[16];
  char internal[16];
  char lease[16];
  std::snprintf(external, sizeof external, "%u", external_port);
  std::snprintf(internal, sizeof internal, "%u", internal_port);
  std::snprintf(lease, sizeof lease, "%u", lifetime_s);
  const char* service = router.data.first.servicetype;
  int result = UPNP_AddPortMapping(router.urls.controlURL, service, external, internal,
                                   router.lan_address, "Morvane", "UDP", nullptr, lease);
  if (result == 725) {  // OnlyPermanentLeasesSupported: kept until removed
    lifetime_s = 0;
    result = UPNP_AddPortMapping(router.urls.controlURL, service, external, internal,
                                 router.lan_address, "Morvane", "UDP", nullptr, "0");
  }
  if (result != UPNPCOMMAND_SUCCESS) {
    // An answer with an error code is a refusal; no answer at all means the
    // router has gone, and is looked for again next time.
    answer.kind = result > 0 ? RouterAnswer::Kind::Refused : RouterAnswer::Kind::NoAnswer;
    const char* reason = strupnperror(result);
    std::snprintf(answer.reason, sizeof answer.reason, "%s", reason ? reason : "error");
    if (result <= 0) upnp_forget(router);
    return answer;
  }
  UPNP_GetExternalIPAddress(router.urls.controlURL, service, answer.external_address);
  answer.kind = RouterAnswer::Kind::Mapped;
  answer.external_port = external_port;
  answer.lifetime_s = lifetime_s;
  return answer;
}

void upnp_unmap(void* context, uint16_t, uint16_t external_port) {
  auto& router = *static_cast<UpnpRouter*>(context);
  if (!router.found) return;
  char external[16];
  std::snprintf(external, sizeof external, "%u", external_port);
  UPNP_DeletePortMapping(router.urls.controlURL, router.data.first.servicetype, external, "UDP",
                         nullptr);
}

}  // namespace

// ---------------------------------------------------------------------------
// The mapper on its own thread.

struct PortMapping {
  PortMapper mapper;
  NatPmpRouter natpmp;
  UpnpRouter upnp;
  std::atomic<bool> stopping{false};
  std::mutex lock;
  std::condition_variable wake;
  bool stop = false;  // under lock
  char news[kMappingTextSize] = {};
  bool has_news = false;  // under lock
  // The mapping as the last step left it, under lock.
  bool open = false;
  char outside_address[64] = {};
  uint16_t outside_port = 0;
  std::thread worker;
};

namespace {

double steady_seconds() {
  return std::chrono::duration<double>(SteadyClock::now().time_since_epoch()).count();
}

void run_mapping(PortMapping& mapping) {
  std::unique_lock<std::mutex> held(mapping.lock);
  while (!mapping.stop) {
    held.unlock();
    const double next_s = step_mapper(mapping.mapper, steady_seconds());
    held.lock();
    mapping.open = mapping.mapper.state == PortMapper::State::Mapped;
    std::snprintf(mapping.outside_address, sizeof mapping.outside_address, "%s",
                  mapping.mapper.external_address);
    mapping.outside_port = mapping.mapper.external_port;
    if (mapping.mapper.news) {
      std::snprintf(mapping.news, sizeof mapping.news, "%s", mapping.mapper.outcome);
      mapping.has_news = true;
      mapping.mapper.news = false;
    }
    if (next_s >= kNeverS) {
      mapping.wake.wait(held, [&] { return mapping.stop; });
    } else {
      const double wait_s = next_s - steady_seconds();
      if (wait_s > 0)
        mapping.wake.wait_for(held, std::chrono::duration<double>(wait_s), [&] { return mapping.stop; });
    }
  }
  held.unlock();
  end_mapper(mapping.mapper);
}

}  // namespace

namespace {

// Starts the mapping's thread; frees the mapping and returns null when no
// thread can be started.
PortMapping* run_on_own_thread(PortMapping* mapping, uint16_t port, const RouterCalls* routers, int router_count) {
  start_mapper(mapping->mapper, port, routers, router_count);
  try {
    mapping->worker = std::thread(run_mapping, std::ref(*mapping));
  } catch (const std::system_error&) {
    delete mapping;
    return nullptr;
  }
  return mapping;
}

}  // namespace

PortMapping* start_port_mapping_with(uint16_t port, const RouterCalls* routers, int router_count) {
  auto* mapping = new (std::nothrow) PortMapping;
  return mapping ? run_on_own_thread(mapping, port, routers, router_count) : nullptr;
}

PortMapping* start_port_mapping(uint16_t port) {
  auto* mapping = new (std::nothrow) PortMapping;
  if (!mapping) return nullptr;
  mapping->natpmp.stopping = &mapping->stopping;
  mapping->upnp.stopping = &mapping->stopping;
  RouterCalls routers[kMaxRouterProtocols];
  routers[0] = RouterCalls{"NAT-PMP", &mapping->natpmp, natpmp_map, natpmp_unmap};
  routers[1] = RouterCalls{"UPnP", &mapping->upnp, upnp_map, upnp_unmap};
  return run_on_own_thread(mapping, port, routers, kMaxRouterProtocols);
}

bool take_port_mapping_news(PortMapping* mapping, char* text, std::size_t size) {
  if (!mapping) return false;
  std::lock_guard<std::mutex> held(mapping->lock);
  if (!mapping->has_news) return false;
  std::snprintf(text, size, "%s", mapping->news);
  mapping->has_news = false;
  return true;
}

bool port_mapping_outside(PortMapping* mapping, char* address, std::size_t size, uint16_t& port) {
  if (!mapping) return false;
  std::lock_guard<std::mutex> held(mapping->lock);
  if (!mapping->open) return false;
  std::snprintf(address, size, "%s", mapping->outside_address);
  port = mapping->outside_port;
  return true;
}

void stop_port_mapping(PortMapping* mapping) {
  if (!mapping) return;
  mapping->stopping = true;
  {
    std::lock_guard<std::mutex> held(mapping->lock);
    mapping->stop = true;
  }
  mapping->wake.notify_all();
  if (mapping->worker.joinable()) mapping->worker.join();
  upnp_forget(mapping->upnp);
  delete mapping;
}

}  // namespace platform
