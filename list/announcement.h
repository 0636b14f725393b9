// What a host sends the list service: its announcement and its withdrawal
// (small JSON bodies over HTTP) and its echo of the proof token (a UDP
// datagram). All come from anyone on the internet, so all are read here,
// once, and refused whole when any part is wrong.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace list {

inline constexpr std::size_t kMaxAnnouncementBytes = 1024;
inline constexpr std::size_t kNameSize = 79;     // 78 bytes of UTF-8 and a NUL, as in the discovery reply
inline constexpr std::size_t kLevelSize = 64;    // 63 bytes and a NUL
inline constexpr std::size_t kVersionSize = 16;  // 15 bytes and a NUL
inline constexpr int kMaxSeats = 8;
inline constexpr int kLowestGamePort = 1024;

struct Announcement {
  uint16_t port = 0;  // the game port (ENet, UDP)
  char name[kNameSize] = {};
  char level[kLevelSize] = {};
  char version[kVersionSize] = {};
  uint8_t people = 0;     // persons in the game
  uint8_t computers = 0;  // computer players in the game
  uint8_t seats = 0;      // places in all
};

// Reads an announcement body. False with a one-sentence reason (a static
// text) when it is not a JSON object with every field present, of its type
// and in its range; fields the service does not know are passed over.
bool parse_announcement(std::string_view body, Announcement& out, const char*& reason);

// Reads a withdrawal body: a JSON object of at most 1024 bytes naming the
// game port ("port") as an announcement does; other fields are passed over.
// False with a one-sentence reason (a static text) otherwise.
bool parse_withdrawal(std::string_view body, uint16_t& port, const char*& reason);

// True when the text is valid UTF-8 holding no control character.
bool clean_utf8(std::string_view text);

// The proof datagram the service sends to a host's game port, and the echo
// the host sends back to the service's proof port: the same 21 bytes but
// for the magic.
inline constexpr std::size_t kTokenSize = 16;
inline constexpr std::size_t kProofSize = 21;
inline constexpr uint8_t kProofVersion = 1;
using Token = std::array<uint8_t, kTokenSize>;

std::array<uint8_t, kProofSize> encode_proof(const Token& token);
std::array<uint8_t, kProofSize> encode_echo(const Token& token);
// False for a datagram of another size, magic or version.
bool decode_echo(std::span<const uint8_t> datagram, Token& token);

}  // namespace list
