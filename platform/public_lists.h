// What the game's programs share about the public lists of internet games:
// how many lists a program reads or announces to, and a list's usual port.
// The lists themselves are named, one "host:port" a line, in lists.txt.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

inline constexpr std::size_t kMaxLists = 8;
inline constexpr uint16_t kDefaultListPort = 24680;

}  // namespace platform
