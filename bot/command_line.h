// Reading a program's command line: options written "--key value" or
// "--key=value", numbers in a range, texts that must fit a field. Shared by
// the programs without a window (morvane-bot, morvane-server).
#pragma once

#include <cstddef>

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
