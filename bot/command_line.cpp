#include "bot/command_line.h"

#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "world/level.h"

#ifndef MORVANE_VERSION
#define MORVANE_VERSION "unknown"
#endif
#ifndef MORVANE_PROGRAM_TO_DATA
#define MORVANE_PROGRAM_TO_DATA "."
#endif

const char* const kMorvaneVersion = MORVANE_VERSION;

void read_option(OptionReader& reader, int index) {
  reader.index = index;
  const char* arg = reader.argv[index];
  reader.equals = std::strchr(arg, '=');
  reader.key_length = reader.equals ? static_cast<std::size_t>(reader.equals - arg) : std::strlen(arg);
}

bool option_is(const OptionReader& reader, const char* key) {
  return std::strlen(key) == reader.key_length &&
         std::strncmp(reader.argv[reader.index], key, reader.key_length) == 0;
}

const char* option_value(OptionReader& reader) {
  if (reader.equals) return reader.equals + 1;
  if (reader.index + 1 >= reader.argc) return nullptr;
  return reader.argv[++reader.index];
}

bool read_number(const char* text, long long low, long long high, long long& value) {
  if (!text || !*text) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(text, &end, 10);
  return errno == 0 && *end == '\0' && value >= low && value <= high;
}

bool printable(const char* text) {
  for (; *text; ++text)
    if (static_cast<unsigned char>(*text) < 32 || *text == 127) return false;
  return true;
}

bool copy_value(char* dest, std::size_t size, const char* value) {
  if (!value || !*value || std::strlen(value) >= size) return false;
  std::snprintf(dest, size, "%s", value);
  return true;
}

bool fail(char* error, std::size_t size, const char* text, const char* detail) {
  std::snprintf(error, size, "%s%s", text, detail);
  return false;
}

bool asks_for_help(const char* arg) { return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0; }

bool asks_for_version(const char* arg) { return std::strcmp(arg, "--version") == 0; }

SharedOption read_shared_option(OptionReader& reader, const SharedOptionFields& fields, char* error,
                                std::size_t error_size) {
  long long number = 0;
  if (option_is(reader, "--skill")) {
    if (!read_number(option_value(reader), 1, 3, number))
      return fail(error, error_size, "--skill takes 1, 2 or 3"), SharedOption::Wrong;
    fields.skill = static_cast<int32_t>(number);
  } else if (option_is(reader, "--seed")) {
    if (!read_number(option_value(reader), 0, UINT32_MAX, number))
      return fail(error, error_size, "--seed takes a number from 0 to 4294967295"), SharedOption::Wrong;
    fields.seed = static_cast<uint32_t>(number);
    fields.seed_given = true;
  } else if (option_is(reader, "--level")) {
    if (!copy_value(fields.level_path, fields.level_path_size, option_value(reader)))
      return fail(error, error_size, "--level takes the level file's name"), SharedOption::Wrong;
    fields.level_given = true;
  } else {
    return SharedOption::Other;
  }
  return SharedOption::Read;
}

LevelDirectories level_directories(const char* program_path, const char* program_to_data) {
  LevelDirectories directories;
  const char* slash = program_path ? std::strrchr(program_path, '/') : nullptr;
  if (!slash) return directories;
  const int length = static_cast<int>(slash - program_path);
  const char* own = length > 0 ? program_path : "/";
  const int own_length = length > 0 ? length : 1;
  std::snprintf(directories.beside_program, sizeof directories.beside_program, "%.*s", own_length, own);
  char joined[kLevelPathSize];
  const int written = std::snprintf(joined, sizeof joined, "%.*s/%s", length, program_path, program_to_data);
  if (written < 0 || static_cast<std::size_t>(written) >= sizeof joined) return directories;
  // Shown to the operator, so without the "lib/games/morvane/../../.." that
  // leads there, when the directory exists.
  char resolved[PATH_MAX];
  std::snprintf(directories.installed_data, sizeof directories.installed_data, "%s",
                realpath(joined, resolved) ? resolved : joined);
  return directories;
}

namespace {

// Reads the level at path: 0, or the system's error number for a file that
// cannot be opened or read, or -1 for a file that is not a level; reason
// then says it in words.
int read_level_file(LevelTable& level, const char* path, char* reason, std::size_t reason_size) {
  std::FILE* file = std::fopen(path, "r");
  if (!file) {
    const int problem = errno;
    std::snprintf(reason, reason_size, "%s", std::strerror(problem));
    return problem;
  }
  errno = 0;
  int problem = 0;
  if (read_level(level, file) != 1) {
    problem = std::ferror(file) ? (errno ? errno : EIO) : -1;
    std::snprintf(reason, reason_size, "%s",
                  problem > 0 ? std::strerror(problem) : "it is not a Morvane level file");
  }
  std::fclose(file);
  return problem;
}

// The default level: the first of the places it is looked for in that
// holds it. level_path becomes its path; where names every place looked in.
bool find_default_level(LevelTable& level, char* level_path, std::size_t level_path_size, char* reason,
                        std::size_t reason_size, char* where, std::size_t where_size) {
  char name[kLevelPathSize];
  std::snprintf(name, sizeof name, "%s", level_path);
  char current[PATH_MAX];
  if (!getcwd(current, sizeof current)) std::snprintf(current, sizeof current, "the current directory");
  std::snprintf(where, where_size, "%s", current);
  // A level there that cannot be used is reported, not passed over for
  // another elsewhere: only a missing one is looked for further.
  if (const int problem = read_level_file(level, name, reason, reason_size); problem != ENOENT)
    return problem == 0;
  char program[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
  if (length <= 0) return false;
  program[length] = '\0';
  const LevelDirectories directories = level_directories(program, MORVANE_PROGRAM_TO_DATA);
  for (const char* directory : {directories.beside_program, directories.installed_data}) {
    if (!*directory || std::strcmp(directory, current) == 0) continue;
    char path[kLevelPathSize];
    const int written = std::snprintf(path, sizeof path, "%s/%s", directory, name);
    if (written < 0 || static_cast<std::size_t>(written) >= sizeof path) continue;
    const std::size_t used = std::strlen(where);
    std::snprintf(where + used, where_size - used, ", %s", directory);
    // The reason is that of the last place looked in, the last one named.
    const int problem = read_level_file(level, path, reason, reason_size);
    if (problem == 0) {
      std::snprintf(level_path, level_path_size, "%s", path);
      return true;
    }
    if (problem != ENOENT) return false;
  }
  return false;
}

}  // namespace

int start_program(const ProgramStart& start, LevelTable& level, char* level_path, std::size_t level_path_size,
                  bool level_given) {
  if (!start.understood) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", start.program, start.error, start.program);
    return 2;
  }
  if (start.help) {
    std::fputs(start.usage, stdout);
    return 0;
  }
  if (start.version) {
    std::printf("%s (Morvane) %s\n", start.program, kMorvaneVersion);
    return 0;
  }
  char reason[PATH_MAX + 128] = {};
  if (level_given) {
    if (read_level_file(level, level_path, reason, sizeof reason) == 0) return -1;
    std::fprintf(stderr, "%s: the level %s cannot be loaded: %s.\n", start.program, level_path, reason);
    return 1;
  }
  char where[3 * PATH_MAX + 8] = {};
  if (find_default_level(level, level_path, level_path_size, reason, sizeof reason, where, sizeof where))
    return -1;
  std::fprintf(stderr,
               "%s: the level %s cannot be loaded: %s (looked in %s).\n"
               "Name the level file with --level FILE.\n",
               start.program, level_path, reason, where);
  return 1;
}

uint32_t chosen_seed(bool given, uint32_t seed) {
  return given ? seed : static_cast<uint32_t>(std::time(nullptr)) ^ static_cast<uint32_t>(getpid());
}
