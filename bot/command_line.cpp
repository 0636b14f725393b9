#include "bot/command_line.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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
