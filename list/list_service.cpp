#include "list/list_service.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <microhttpd.h>

#include "list/list_document.h"

namespace list {

namespace {

constexpr const char* kGamesPath = "/games";
constexpr const char* kAnnouncePath = "/announce";
constexpr const char* kWithdrawPath = "/withdraw";
constexpr double kExpireEveryMs = 250;
constexpr unsigned kConnectionLimit = 1024;
constexpr unsigned kConnectionsPerAddress = 64;
constexpr unsigned kIdleSeconds = 15;

// The responses to a reading of one document, made once per document and
// queued for every reading: the body, its gzip form and the 304.
struct DocumentResponses {
  MHD_Response* plain = nullptr;
  MHD_Response* gzip = nullptr;
  MHD_Response* not_modified = nullptr;
  uint64_t generation = 0;
};

// The context of a reading between its two calls; any other context is an
// announcement's or a withdrawal's upload.
int g_reading = 0;

// An announcement's or a withdrawal's body as it arrives.
struct Upload {
  std::size_t size = 0;
  bool too_long = false;
  bool withdrawal = false;
  char body[kMaxAnnouncementBytes];  // last, so that a sanitizer sees any write past it
};

}  // namespace

struct ListService {
  ServiceConfig config;
  std::unique_ptr<GameList> list;
  MHD_Daemon* daemon = nullptr;
  int proof_socket = -1;
  uint16_t http_port = 0;
  uint16_t proof_port = 0;
  DocumentResponses responses;
  double last_expiry_ms = 0;
};

double steady_ms(void*) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

namespace {

double now_of(const ListService& service) { return service.config.clock(service.config.clock_context); }

void release_responses(DocumentResponses& responses) {
  for (MHD_Response* response : {responses.plain, responses.gzip, responses.not_modified})
    if (response) MHD_destroy_response(response);
  responses = DocumentResponses{};
}

void add_cache_headers(MHD_Response* response, const ListDocument& document) {
  char cache[48];
  std::snprintf(cache, sizeof cache, "public, max-age=%d", kDocumentMaxAgeSeconds);
  MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, cache);
  MHD_add_response_header(response, MHD_HTTP_HEADER_ETAG, document.etag);
  MHD_add_response_header(response, MHD_HTTP_HEADER_VARY, MHD_HTTP_HEADER_ACCEPT_ENCODING);
}

MHD_Response* body_response(const void* data, std::size_t size, const ListDocument& document, bool gzip) {
  MHD_Response* response = MHD_create_response_from_buffer(size, const_cast<void*>(data), MHD_RESPMEM_MUST_COPY);
  if (!response) return nullptr;
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "application/json");
  if (gzip) MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_ENCODING, "gzip");
  add_cache_headers(response, document);
  return response;
}

// The responses of the current document, made again when it was rebuilt.
// Readings still being sent keep the old ones until they are done.
const DocumentResponses& document_responses(ListService& service) {
  const ListDocument& document = current_document(*service.list, now_of(service));
  DocumentResponses& responses = service.responses;
  if (responses.plain && responses.generation == document.generation) return responses;
  release_responses(responses);
  responses.generation = document.generation;
  responses.plain = body_response(document.json.data(), document.json.size(), document, false);
  if (!document.gzip.empty())
    responses.gzip = body_response(document.gzip.data(), document.gzip.size(), document, true);
  responses.not_modified = MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
  if (responses.not_modified) add_cache_headers(responses.not_modified, document);
  return responses;
}

// A short JSON answer: {"error": reason} or an announcement's outcome.
MHD_Result answer_json(MHD_Connection* connection, unsigned status, const char* json, const char* allow = nullptr) {
  MHD_Response* response =
      MHD_create_response_from_buffer(std::strlen(json), const_cast<char*>(json), MHD_RESPMEM_MUST_COPY);
  if (!response) return MHD_NO;
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "application/json");
  MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
  if (allow) MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, allow);
  const MHD_Result result = MHD_queue_response(connection, status, response);
  MHD_destroy_response(response);
  return result;
}

MHD_Result answer_error(MHD_Connection* connection, unsigned status, const char* reason,
                        const char* allow = nullptr) {
  std::string json = "{\"error\":";
  append_json_string(json, reason);
  json += "}\n";
  return answer_json(connection, status, json.c_str(), allow);
}

MHD_Result answer_reading(ListService& service, MHD_Connection* connection) {
  const DocumentResponses& responses = document_responses(service);
  if (!responses.plain || !responses.not_modified) return MHD_NO;
  const ListDocument& document = service.list->document;
  const char* if_none_match = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_IF_NONE_MATCH);
  if (etag_matches(if_none_match, document.etag))
    return MHD_queue_response(connection, MHD_HTTP_NOT_MODIFIED, responses.not_modified);
  const char* accept = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_ACCEPT_ENCODING);
  MHD_Response* body = responses.gzip && accepts_gzip(accept) ? responses.gzip : responses.plain;
  return MHD_queue_response(connection, MHD_HTTP_OK, body);
}

uint32_t peer_address(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  if (!info || !info->client_addr || info->client_addr->sa_family != AF_INET) return 0;
  return ntohl(reinterpret_cast<const sockaddr_in*>(info->client_addr)->sin_addr.s_addr);
}

void send_proof(ListService& service, const AnnounceResult& result) {
  const auto proof = encode_proof(result.token);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(result.address);
  to.sin_port = htons(result.port);
  sendto(service.proof_socket, proof.data(), proof.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

const char* too_long_reason(bool withdrawal) {
  return withdrawal ? "the withdrawal is longer than 1024 bytes" : "the announcement is longer than 1024 bytes";
}

MHD_Result answer_upload(ListService& service, MHD_Connection* connection, const Upload& upload) {
  const uint32_t address = peer_address(connection);
  const double now = now_of(service);
  const std::string_view body(upload.body, upload.size);
  GameList& list = *service.list;
  const AnnounceResult result =
      upload.too_long     ? refuse(list, address, MHD_HTTP_CONTENT_TOO_LARGE, too_long_reason(upload.withdrawal), now)
      : upload.withdrawal ? withdraw(list, address, body, now)
                          : announce(list, address, body, now);
  if (result.outcome == Outcome::Refused) return answer_error(connection, result.status, result.reason);
  if (result.send_proof) send_proof(service, result);
  char from[16];
  format_address(address, from, sizeof from);
  char json[256];
  if (result.outcome == Outcome::Withdrawn) {
    std::snprintf(json, sizeof json, "{\"status\":\"withdrawn\",\"address\":\"%s\",\"port\":%u}\n", from,
                  result.port);
    return answer_json(connection, result.status, json);
  }
  std::snprintf(json, sizeof json,
                "{\"status\":\"%s\",\"address\":\"%s\",\"port\":%u,\"announce_every\":%d,\"proof_port\":%u}\n",
                result.outcome == Outcome::Listed ? "listed" : "pending", from,
                result.port, kAnnounceEverySeconds, service.proof_port);
  return answer_json(connection, result.status, json);
}

// The first call for a POST: a body announced too long is refused before
// it is read; otherwise it is gathered into an upload.
MHD_Result begin_upload(ListService& service, MHD_Connection* connection, void** context, bool withdrawal) {
  const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
  if (length && std::strtoull(length, nullptr, 10) > kMaxAnnouncementBytes) {
    const AnnounceResult result = refuse(*service.list, peer_address(connection), MHD_HTTP_CONTENT_TOO_LARGE,
                                         too_long_reason(withdrawal), now_of(service));
    return answer_error(connection, result.status, result.reason);
  }
  Upload* upload = new Upload;
  upload->withdrawal = withdrawal;
  *context = upload;
  return MHD_YES;
}

MHD_Result take_request(void* cls, MHD_Connection* connection, const char* url, const char* method,
                        const char*, const char* upload_data, std::size_t* upload_size, void** context) {
  ListService& service = *static_cast<ListService*>(cls);
  const std::string_view path(url), verb(method);
  if (path == kGamesPath) {
    if (verb != MHD_HTTP_METHOD_GET && verb != MHD_HTTP_METHOD_HEAD)
      return answer_error(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "the list is read with GET", "GET, HEAD");
    // Answered at the request's second call, once MHD knows it has no
    // body: an answer at the first would end the connection after it.
    if (!*context) {
      *context = &g_reading;
      return MHD_YES;
    }
    *context = nullptr;
    if (*upload_size > 0) return MHD_NO;  // a reading with a body: not HTTP we speak
    return answer_reading(service, connection);
  }
  const bool withdrawal = path == kWithdrawPath;
  if (path != kAnnouncePath && !withdrawal)
    return answer_error(connection, MHD_HTTP_NOT_FOUND, "no such path: the list is /games");
  if (verb != MHD_HTTP_METHOD_POST)
    return answer_error(connection, MHD_HTTP_METHOD_NOT_ALLOWED,
                        withdrawal ? "withdrawals are sent with POST" : "announcements are sent with POST", "POST");
  if (!*context) return begin_upload(service, connection, context, withdrawal);
  Upload& upload = *static_cast<Upload*>(*context);
  if (*upload_size > 0) {
    if (upload.too_long || *upload_size > sizeof upload.body - upload.size) {
      upload.too_long = true;
    } else {
      std::memcpy(upload.body + upload.size, upload_data, *upload_size);
      upload.size += *upload_size;
    }
    *upload_size = 0;
    return MHD_YES;
  }
  return answer_upload(service, connection, upload);
}

void request_done(void*, MHD_Connection*, void** context, MHD_RequestTerminationCode) {
  if (*context != &g_reading) delete static_cast<Upload*>(*context);
  *context = nullptr;
}

void take_datagrams(ListService& service) {
  uint8_t datagram[64];
  for (;;) {
    sockaddr_in from{};
    socklen_t from_size = sizeof from;
    const ssize_t size = recvfrom(service.proof_socket, datagram, sizeof datagram, MSG_TRUNC,
                                  reinterpret_cast<sockaddr*>(&from), &from_size);
    if (size < 0) return;
    if (from.sin_family != AF_INET || static_cast<std::size_t>(size) > sizeof datagram) continue;
    take_echo(*service.list, ntohl(from.sin_addr.s_addr), ntohs(from.sin_port),
              std::span<const uint8_t>(datagram, static_cast<std::size_t>(size)), now_of(service));
  }
}

int open_proof_socket(uint32_t address, uint16_t port, uint16_t& bound_port) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(address);
  at.sin_port = htons(port);
  socklen_t size = sizeof at;
  if (bind(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&at), &size) != 0) {
    close(fd);
    return -1;
  }
  bound_port = ntohs(at.sin_port);
  return fd;
}

void close_service(ListService* service) {
  if (!service) return;
  if (service->daemon) MHD_stop_daemon(service->daemon);
  release_responses(service->responses);
  if (service->proof_socket >= 0) close(service->proof_socket);
  delete service;
}

}  // namespace

std::unique_ptr<ListService, void (*)(ListService*)> open_service(const ServiceConfig& config,
                                                                  std::unique_ptr<GameList> list, char* error,
                                                                  std::size_t error_size) {
  std::unique_ptr<ListService, void (*)(ListService*)> service(new ListService, close_service);
  service->config = config;
  service->list = std::move(list);
  service->proof_socket = open_proof_socket(config.listen_address, config.proof_port, service->proof_port);
  if (service->proof_socket < 0) {
    std::snprintf(error, error_size, "UDP port %u cannot be opened: %s", config.proof_port, std::strerror(errno));
    return {nullptr, close_service};
  }
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(config.listen_address);
  at.sin_port = htons(config.http_port);
  service->daemon = MHD_start_daemon(
      MHD_USE_EPOLL, config.http_port, nullptr, nullptr, take_request, service.get(),
      MHD_OPTION_SOCK_ADDR, &at, MHD_OPTION_NOTIFY_COMPLETED, request_done, service.get(),
      MHD_OPTION_CONNECTION_LIMIT, kConnectionLimit, MHD_OPTION_PER_IP_CONNECTION_LIMIT, kConnectionsPerAddress,
      MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds, MHD_OPTION_END);
  if (!service->daemon) {
    std::snprintf(error, error_size, "TCP port %u cannot be opened for HTTP", config.http_port);
    return {nullptr, close_service};
  }
  const MHD_DaemonInfo* info = MHD_get_daemon_info(service->daemon, MHD_DAEMON_INFO_BIND_PORT);
  service->http_port = info ? info->port : config.http_port;
  service->last_expiry_ms = now_of(*service);
  return service;
}

GameList& game_list_of(ListService& service) { return *service.list; }
uint16_t http_port_of(const ListService& service) { return service.http_port; }
uint16_t proof_port_of(const ListService& service) { return service.proof_port; }

void serve_once(ListService& service, int timeout_ms) {
  const MHD_DaemonInfo* info = MHD_get_daemon_info(service.daemon, MHD_DAEMON_INFO_EPOLL_FD);
  pollfd waiting[2] = {{info ? info->epoll_fd : -1, POLLIN, 0}, {service.proof_socket, POLLIN, 0}};
  MHD_UNSIGNED_LONG_LONG mhd_timeout = 0;
  if (MHD_get_timeout(service.daemon, &mhd_timeout) == MHD_YES)
    timeout_ms = static_cast<int>(std::min<MHD_UNSIGNED_LONG_LONG>(mhd_timeout, static_cast<unsigned>(timeout_ms)));
  poll(waiting, 2, timeout_ms);
  MHD_run(service.daemon);
  take_datagrams(service);
  const double now = now_of(service);
  if (now - service.last_expiry_ms >= kExpireEveryMs || now < service.last_expiry_ms) {
    expire_games(*service.list, now);
    service.last_expiry_ms = now;
  }
}

void serve_until(ListService& service, const volatile std::sig_atomic_t* stop) {
  while (!*stop) serve_once(service, static_cast<int>(kExpireEveryMs));
}

}  // namespace list
