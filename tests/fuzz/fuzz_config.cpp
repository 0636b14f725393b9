// config.dat through the game's reader.
#include <cstring>

#include "configurator/config_writer.h"
#include "core/settings.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  GameSettings settings;
  std::FILE* file = open_bytes({data, size});
  if (!file) return 0;
  const int status = read_config(settings, file);
  std::fclose(file);
  fuzz_require(status == 0 || status == 1, "the reader returns 0 or 1");
  const int32_t row = settings.resolution_index;
  fuzz_require(row >= 0 && row < static_cast<int32_t>(resolution_table.size()), "the resolution row is in the table");
  fuzz_require(settings.screen_width == resolution_table[static_cast<std::size_t>(row)].width &&
                   settings.screen_height == resolution_table[static_cast<std::size_t>(row)].height,
               "the screen size is the row's");
  fuzz_require(!(settings.use_ipx && settings.use_tcpip), "at most one transport");
  fuzz_require(std::memchr(settings.player_name, 0, sizeof settings.player_name) &&
                   std::memchr(settings.host_address, 0, sizeof settings.host_address),
               "names end inside their fields");
  return 0;
}

std::vector<FuzzSeed> fuzz_seeds() {
  ConfigValues start{3, true, true, true, "Player", true, 0, "0.0.0.0"};
  ConfigValues joining{5, false, true, false, "A name of exactly forty characters long!", false, 1,
                       "192.168.1.20"};
  return {
      {"configurator_start", bytes_of(format_config(start))},
      {"configurator_joining", bytes_of(format_config(joining))},
      {"one_line", bytes_of("MRVN_CONFIG SET_RESOLUTION -1 SET_PLAYERNAME \"a\"b\" SET_NETWORKING 2 "
                            "set_sound 0 SET_IPADDRESS \"unterminated")},
  };
}
