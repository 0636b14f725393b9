#include "list/list_document.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>

#include <zlib.h>

namespace list {

// Names are checked to be UTF-8 without control characters when they come
// in, so quotes and backslashes are all there is to escape; control
// characters are escaped all the same, should one ever get through.
void append_json_string(std::string& out, const char* text) {
  out += '"';
  for (const char* p = text; *p; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 32 || c == 127) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
}

namespace {

void put_game(std::string& out, const GameEntry& game, double now_ms) {
  char address[16];
  format_address(game.address, address, sizeof address);
  const Announcement& d = game.details;
  const double listed_ms = now_ms - game.listed_since_ms;
  const long long seconds = listed_ms > 0 ? static_cast<long long>(listed_ms / 1000) : 0;
  char numbers[160];
  out += "{\"address\":\"";
  out += address;
  std::snprintf(numbers, sizeof numbers, "\",\"port\":%u,\"name\":", d.port);
  out += numbers;
  append_json_string(out, d.name);
  out += ",\"level\":";
  append_json_string(out, d.level);
  std::snprintf(numbers, sizeof numbers, ",\"people\":%u,\"computers\":%u,\"seats\":%u,\"version\":", d.people,
                d.computers, d.seats);
  out += numbers;
  append_json_string(out, d.version);
  std::snprintf(numbers, sizeof numbers, ",\"listed_seconds\":%lld}", seconds);
  out += numbers;
}

bool rebuild_due(const GameList& list, double now_ms) {
  const ListDocument& document = list.document;
  if (now_ms - document.built_ms < kRebuildAtMostEveryMs) return false;
  if (list.changed) return true;
  return list.listed_count > 0 && now_ms - document.built_ms >= kDocumentMaxAgeSeconds * 1000.0;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// Calls each(item) for the comma-separated items of a header, trimmed;
// stops when it returns true and says so.
template <typename Each>
bool any_item(const char* header, Each each) {
  std::string_view rest(header);
  while (!rest.empty()) {
    const std::size_t comma = rest.find(',');
    const std::string_view item = trimmed(rest.substr(0, comma));
    if (!item.empty() && each(item)) return true;
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return false;
}

// q=0, q=0.0, q=0.000: the coding is refused.
bool refused_by_weight(std::string_view parameters) {
  while (!parameters.empty()) {
    const std::size_t semicolon = parameters.find(';');
    const std::string_view parameter = trimmed(parameters.substr(0, semicolon));
    if (parameter.size() >= 2 && (parameter[0] == 'q' || parameter[0] == 'Q') && parameter[1] == '=') {
      const std::string_view value = parameter.substr(2);
      return !value.empty() && value.find_first_not_of("0.") == std::string_view::npos;
    }
    if (semicolon == std::string_view::npos) break;
    parameters.remove_prefix(semicolon + 1);
  }
  return false;
}

}  // namespace

void write_document_json(const GameList& list, double now_ms, std::string& out) {
  out.clear();
  char head[96];
  std::snprintf(head, sizeof head, "{\"count\":%d,\"announce_every\":%d,\"games\":[", list.listed_count,
                kAnnounceEverySeconds);
  out += head;
  bool first = true;
  for (const GameEntry& game : list.games) {
    if (!game.in_use || !game.listed) continue;
    if (!first) out += ',';
    first = false;
    put_game(out, game, now_ms);
  }
  out += "]}\n";
}

bool gzip_bytes(const std::string& bytes, std::vector<uint8_t>& out) {
  z_stream stream{};
  // 15 bits of window, plus 16: a gzip header and trailer instead of zlib's.
  if (deflateInit2(&stream, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  out.resize(deflateBound(&stream, bytes.size()));
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return result == Z_STREAM_END;
}

const ListDocument& current_document(GameList& list, double now_ms) {
  if (!rebuild_due(list, now_ms)) return list.document;
  ListDocument& document = list.document;
  write_document_json(list, now_ms, document.json);
  if (!gzip_bytes(document.json, document.gzip)) document.gzip.clear();
  ++document.generation;
  std::snprintf(document.etag, sizeof document.etag, "\"%08x-%llu\"", list.instance,
                static_cast<unsigned long long>(document.generation));
  document.built_ms = now_ms;
  document.games = list.listed_count;
  list.changed = false;
  return document;
}

bool accepts_gzip(const char* accept_encoding) {
  if (!accept_encoding) return false;
  // gzip named outright decides; else "*" does.
  int gzip = -1, any = -1;  // -1: not named; 0: refused; 1: accepted
  any_item(accept_encoding, [&](std::string_view item) {
    const std::size_t semicolon = item.find(';');
    const std::string_view coding = trimmed(item.substr(0, semicolon));
    const int accepted = semicolon == std::string_view::npos || !refused_by_weight(item.substr(semicolon + 1));
    if (equal_ignoring_case(coding, "gzip") || equal_ignoring_case(coding, "x-gzip")) gzip = std::max(gzip, accepted);
    else if (coding == "*") any = std::max(any, accepted);
    return false;
  });
  return gzip >= 0 ? gzip == 1 : any == 1;
}

bool etag_matches(const char* if_none_match, const char* etag) {
  if (!if_none_match) return false;
  return any_item(if_none_match, [etag](std::string_view item) {
    if (item == "*") return true;
    if (item.size() > 2 && item.substr(0, 2) == "W/") item.remove_prefix(2);
    return item == etag;
  });
}

}  // namespace list
