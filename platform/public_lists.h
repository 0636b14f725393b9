// What the game's programs share about the public lists of internet games:
// how many lists a program reads or announces to, a list's usual port, and
// the one reading of lists.txt, the file that names them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace platform {

inline constexpr std::size_t kMaxLists = 8;
inline constexpr uint16_t kDefaultListPort = 24680;
inline constexpr std::size_t kListAddressSize = 256;  // "host:port" and its NUL
// A host fits in a "host:port" of kListAddressSize whatever its port.
inline constexpr std::size_t kListHostSize = kListAddressSize - 6;
// The most of lists.txt that is read; a longer file is read up to the end
// of the last whole line within it.
inline constexpr std::size_t kMaxListsFile = 64 * 1024;

struct ListAddress {
  char host[kListHostSize] = {};
  uint16_t port = kDefaultListPort;
};
struct ListAddresses {
  std::array<ListAddress, kMaxLists> lists{};
  std::size_t count = 0;
};

// A line of lists.txt left out, by its number (from 1) and why, for the
// operator to mend.
using ListLineWarning = void (*)(void* context, int line_number, const char* why);

// The lists named in the text of lists.txt: "host:port" one a line, or
// "host" alone on kDefaultListPort; the host a name or a dotted address
// (letters, digits, '.', '-', '_'), the port 1 to 65535. '#' begins a
// comment to the end of its line; blank lines and spaces around an entry do
// not matter. A line that is not an entry, and every entry past kMaxLists,
// is left out and told to warn (when given).
ListAddresses parse_list_addresses(std::string_view text, ListLineWarning warn = nullptr, void* context = nullptr);
// The same from the file at path (at most kMaxListsFile of it; the rest is
// told to warn). False, with no list, when it cannot be read.
bool read_list_addresses(const char* path, ListAddresses& lists, ListLineWarning warn = nullptr,
                         void* context = nullptr);

}  // namespace platform
