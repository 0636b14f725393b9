// Reading a program's command line: options written "--key value" or
// "--key=value", numbers in a range, texts that must fit a field. Shared by
// the programs without a window (morvane-bot, morvane-server).
#pragma once

#include <cstddef>
#include <cstdint>

#include "bot/options.h"

// One argument being read: its key (before any '=') and where its value is.
struct OptionReader {
  int argc;
  const char* const* argv;
  int index = 0;                 // the argument being read
  const char* equals = nullptr;  // its '=', if it has one
  std::size_t key_length = 0;
};

// Starts reading argument `index`.
void read_option(OptionReader& reader, int index);
// True when the argument being read is the option `key` ("--name").
bool option_is(const OptionReader& reader, const char* key);
// The option's value: after '=' in the same argument, or the next argument
// (which is then used up). Null when there is none.
const char* option_value(OptionReader& reader);

// A decimal number from low to high, the whole text.
bool read_number(const char* text, long long low, long long high, long long& value);
// No control characters (below 32, and 127).
bool printable(const char* text);
// Copies a value that is not empty and fits the field; false otherwise.
bool copy_value(char* dest, std::size_t size, const char* value);
// Writes text and detail into error; returns false, for `return fail(...)`.
bool fail(char* error, std::size_t size, const char* text, const char* detail = "");

// The options morvane-bot and morvane-server share, read into a program's
// own fields: --skill, --seed and --level.
struct SharedOptionFields {
  int32_t& skill;
  uint32_t& seed;
  bool& seed_given;
  char* level_path;
  std::size_t level_path_size;
  bool& level_given;
};
// The shared fields of a program's options, which name them alike.
template <typename Options>
SharedOptionFields shared_fields_of(Options& options) {
  return {options.skill,      options.seed,
          options.seed_given, options.level_path,
          sizeof options.level_path, options.level_given};
}
// "--help" or "-h": the usage is shown, whatever else the line holds.
bool asks_for_help(const char* arg);
// "--version": the program's name and version are shown, likewise.
bool asks_for_version(const char* arg);
enum class SharedOption { Other, Read, Wrong };
// Reads the option the reader is at when it is one of the shared ones;
// Wrong with the reason in error when its value cannot be used.
SharedOption read_shared_option(OptionReader& reader, const SharedOptionFields& fields, char* error,
                                std::size_t error_size);

// The version every program prints for --version.
extern const char* const kMorvaneVersion;

// What a program's command line asked of its start, for start_program.
struct ProgramStart {
  const char* program;  // its name in messages
  bool understood;
  const char* error;  // why not, when not understood
  bool help;
  bool version;
  const char* usage;
};

struct LevelTable;
// The start of a program's main once its arguments are read: -1 to go on;
// else the status to exit with, its words printed: 2 and the reason when the
// arguments were not understood, 0 and the usage for --help, 0 and the
// version for --version, 1 when the level cannot be loaded (with the
// system's reason and every place looked in).
//
// A level named with --level (level_given) is read from that path alone.
// The default one is looked for in the current directory, then beside the
// program (the build tree's game directory), then in the installed data
// directory, found from where the program lies; level_path becomes the
// path it was read from.
int start_program(const ProgramStart& start, LevelTable& level, char* level_path, std::size_t level_path_size,
                  bool level_given);

// The directories the default level is looked for in after the current
// one, from the path of the running program: its own directory, and the
// installed data directory relative to it (program_to_data). Empty texts
// when the program's path has no directory.
struct LevelDirectories {
  char beside_program[kLevelPathSize] = {};
  char installed_data[kLevelPathSize] = {};
};
LevelDirectories level_directories(const char* program_path, const char* program_to_data);
// The seed given, or one drawn from the time and the process.
uint32_t chosen_seed(bool given, uint32_t seed);
