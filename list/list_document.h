// The document readers get: every listed game as JSON, built once per
// change with its gzip form beside it, and the two request headers that
// choose between them and a 304.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "list/game_list.h"

namespace list {

// Writes the list as JSON (see the protocol document) with every game's
// time on the list as of now_ms.
void write_document_json(const GameList& list, double now_ms, std::string& out);
// Appends the text as a JSON string, quoted and escaped.
void append_json_string(std::string& out, const char* text);
// The gzip form (RFC 1952) of the bytes; false when zlib fails.
bool gzip_bytes(const std::string& bytes, std::vector<uint8_t>& out);

// True when an Accept-Encoding header accepts gzip: "gzip" or "*" listed
// without q=0. Null (no header) accepts only the identity.
bool accepts_gzip(const char* accept_encoding);
// True when an If-None-Match header names the entity tag (weakly compared,
// so W/"x" matches "x") or is "*".
bool etag_matches(const char* if_none_match, const char* etag);

}  // namespace list
