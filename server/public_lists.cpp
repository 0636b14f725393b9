#include "server/public_lists.h"

#include <unistd.h>

#include <climits>
#include <cstring>

#include "bot/command_line.h"
#include "core/game_core.h"
#include "platform/port_mapping.h"
#include "server/computer_seats.h"
#include "server/options.h"

namespace {

// Copies text, cut to fit (a level's name may be longer than a list takes).
void set_text(char* out, std::size_t size, const char* text) {
  std::size_t length = std::strlen(text);
  if (length >= size) length = size - 1;
  std::memcpy(out, text, length);
  out[length] = '\0';
}

}  // namespace

bool find_lists_file(const ServerOptions& options, char* path, std::size_t path_size) {
  if (options.lists_given) {
    set_text(path, path_size, options.lists_path);
    return access(path, R_OK) == 0;
  }
  if (access(kListsFileName, F_OK) == 0) {
    set_text(path, path_size, kListsFileName);
    return true;
  }
  char program[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
  if (length > 0) {
    program[length] = '\0';
    const LevelDirectories directories = level_directories(program, MORVANE_PROGRAM_TO_DATA);
    for (const char* directory : {directories.beside_program, directories.installed_data}) {
      if (!*directory) continue;
      const int written = std::snprintf(path, path_size, "%s/%s", directory, kListsFileName);
      if (written > 0 && static_cast<std::size_t>(written) < path_size && access(path, F_OK) == 0) return true;
    }
  }
  set_text(path, path_size, kListsFileName);
  return false;
}

platform::GameAnnouncement describe_server_game(const ServerOptions& options, const GameCore& host,
                                                const ComputerSeats& seats) {
  platform::GameAnnouncement game;
  // A list proves and lists the port the announcement names, from the
  // internet: while the router holds a mapping onto another outside port,
  // that port is the one the internet reaches the game at.
  game.port = options.port;
  char outside_address[64];
  uint16_t outside_port = 0;
  if (platform::port_mapping_outside(host.session.port_mapping, outside_address, sizeof outside_address,
                                     outside_port) &&
      outside_port != 0)
    game.port = outside_port;
  set_text(game.name, sizeof game.name, options.name);
  // The level's file name, without its directory, in the characters a list
  // takes (printable ASCII without spaces).
  const char* slash = std::strrchr(options.level_path, '/');
  set_text(game.level, sizeof game.level, slash ? slash + 1 : options.level_path);
  for (char* c = game.level; *c; ++c)
    if (*c <= ' ' || *c >= 127) *c = '_';
  if (!game.level[0]) set_text(game.level, sizeof game.level, "level");
  int32_t players = 0;
  for (const PlayerSlot& slot : host.world.player_table)
    if (slot.active && slot.player_id != host.world.tank.local_player_id) ++players;
  game.computers = computer_players(seats);
  if (game.computers > players) game.computers = players;
  game.people = players - game.computers;
  game.seats = platform::kSessionMaxPlayers - 1;
  set_text(game.version, sizeof game.version, kMorvaneVersion);
  for (char* c = game.version; *c; ++c)
    if (*c <= ' ' || *c >= 127) *c = '_';
  return game;
}
