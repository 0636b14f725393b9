#include "list/announcement.h"

#include <algorithm>
#include <cstring>

#include <nlohmann/json.hpp>

namespace list {

namespace {

using Json = nlohmann::json;

bool copy_text(const Json& object, const char* key, char* dest, std::size_t size, bool utf8_name) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_string()) return false;
  const std::string& text = it->get_ref<const std::string&>();
  if (text.empty() || text.size() >= size) return false;
  if (utf8_name ? !clean_utf8(text) : !std::all_of(text.begin(), text.end(), [](char c) {
        return c > 32 && c < 127;
      }))
    return false;
  std::memcpy(dest, text.data(), text.size());
  dest[text.size()] = '\0';
  return true;
}

bool read_number(const Json& object, const char* key, int64_t low, int64_t high, int64_t& value) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_number_integer()) return false;
  if (it->is_number_unsigned()) {
    const uint64_t number = it->get<uint64_t>();
    if (number > static_cast<uint64_t>(high)) return false;
    value = static_cast<int64_t>(number);
  } else {
    value = it->get<int64_t>();
  }
  return value >= low && value <= high;
}

bool read_port(const Json& object, int64_t& port, const char*& reason) {
  if (read_number(object, "port", kLowestGamePort, 65535, port)) return true;
  reason = "\"port\" must be the game port, a whole number from 1024 to 65535";
  return false;
}

bool read_fields(const Json& object, Announcement& out, const char*& reason) {
  int64_t port = 0, people = 0, computers = 0, seats = 0;
  if (!read_port(object, port, reason)) return false;
  if (!copy_text(object, "name", out.name, sizeof out.name, true))
    return reason = "\"name\" must be 1 to 78 bytes of UTF-8 without control characters", false;
  if (!copy_text(object, "level", out.level, sizeof out.level, false))
    return reason = "\"level\" must be 1 to 63 printable ASCII characters without spaces", false;
  if (!copy_text(object, "version", out.version, sizeof out.version, false))
    return reason = "\"version\" must be 1 to 15 printable ASCII characters without spaces", false;
  if (!read_number(object, "seats", 1, kMaxSeats, seats))
    return reason = "\"seats\" must be a whole number from 1 to 8", false;
  if (!read_number(object, "people", 0, seats, people))
    return reason = "\"people\" must be a whole number from 0 to \"seats\"", false;
  if (!read_number(object, "computers", 0, seats - people, computers))
    return reason = "\"computers\" must be a whole number from 0 to \"seats\" less \"people\"", false;
  out.port = static_cast<uint16_t>(port);
  out.people = static_cast<uint8_t>(people);
  out.computers = static_cast<uint8_t>(computers);
  out.seats = static_cast<uint8_t>(seats);
  return true;
}

// The body as a JSON object, or a discarded value with the reason, which
// names the body as an announcement or a withdrawal.
Json read_object(std::string_view body, const char*& reason, bool withdrawal) {
  if (body.size() > kMaxAnnouncementBytes) {
    reason = withdrawal ? "the withdrawal is longer than 1024 bytes" : "the announcement is longer than 1024 bytes";
    return Json(Json::value_t::discarded);
  }
  // No exceptions: a body that is not JSON comes back as a discarded value.
  Json object = Json::parse(body.begin(), body.end(), nullptr, false);
  if (object.is_discarded()) {
    reason = withdrawal ? "the withdrawal is not JSON" : "the announcement is not JSON";
  } else if (!object.is_object()) {
    reason = withdrawal ? "the withdrawal is not a JSON object" : "the announcement is not a JSON object";
    object = Json(Json::value_t::discarded);
  }
  return object;
}

}  // namespace

bool clean_utf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<uint8_t>(text[i]);
    if (lead < 0x80) {
      if (lead < 32 || lead == 127) return false;
      ++i;
      continue;
    }
    // The shortest form only, no surrogates, nothing above U+10FFFF.
    std::size_t length = 0;
    uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, code = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, code = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, code = lead & 0x07;
    else return false;
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<uint8_t>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF) || (code >= 0x80 && code < 0xA0))
      return false;
    i += length;
  }
  return true;
}

bool parse_announcement(std::string_view body, Announcement& out, const char*& reason) {
  out = Announcement{};
  const Json object = read_object(body, reason, false);
  if (object.is_discarded()) return false;
  if (!read_fields(object, out, reason)) {
    out = Announcement{};
    return false;
  }
  return true;
}

bool parse_withdrawal(std::string_view body, uint16_t& port, const char*& reason) {
  port = 0;
  const Json object = read_object(body, reason, true);
  int64_t number = 0;
  if (object.is_discarded() || !read_port(object, number, reason)) return false;
  port = static_cast<uint16_t>(number);
  return true;
}

namespace {

std::array<uint8_t, kProofSize> encode(const char* magic, const Token& token) {
  std::array<uint8_t, kProofSize> bytes{};
  std::memcpy(bytes.data(), magic, 4);
  bytes[4] = kProofVersion;
  std::memcpy(bytes.data() + 5, token.data(), token.size());
  return bytes;
}

}  // namespace

std::array<uint8_t, kProofSize> encode_proof(const Token& token) { return encode("MRVP", token); }
std::array<uint8_t, kProofSize> encode_echo(const Token& token) { return encode("MRVE", token); }

bool decode_echo(std::span<const uint8_t> datagram, Token& token) {
  if (datagram.size() != kProofSize || std::memcmp(datagram.data(), "MRVE", 4) != 0 ||
      datagram[4] != kProofVersion)
    return false;
  std::memcpy(token.data(), datagram.data() + 5, token.size());
  return true;
}

}  // namespace list
