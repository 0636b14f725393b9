#include "bot/command_line.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "world/level.h"

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
  } else {
    return SharedOption::Other;
  }
  return SharedOption::Read;
}

int start_program(const char* program, bool understood, const char* error, bool help, const char* usage,
                  LevelTable& level, const char* level_path) {
  if (!understood) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", program, error, program);
    return 2;
  }
  if (help) {
    std::fputs(usage, stdout);
    return 0;
  }
  if (load_level(level, level_path) != 1) {
    std::fprintf(stderr, "%s: the level %s cannot be loaded.\n", program, level_path);
    return 1;
  }
  return -1;
}

uint32_t chosen_seed(bool given, uint32_t seed) {
  return given ? seed : static_cast<uint32_t>(std::time(nullptr)) ^ static_cast<uint32_t>(getpid());
}
