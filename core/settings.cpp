#include "core/settings.h"

#include <cctype>
#include <climits>
#include <cstring>

namespace {

constexpr std::size_t kTokenSize = 80;  // 79 characters + NUL

// Reads the next whitespace-separated word. A word longer than 79
// characters is consumed whole and reported as overlong, so that it can
// never be taken for a keyword. False at the end of the stream.
bool read_token(std::FILE* stream, char (&token)[kTokenSize], bool& overlong) {
  int c;
  do {
    c = std::fgetc(stream);
  } while (c != EOF && std::isspace(c));
  if (c == EOF) return false;
  std::size_t length = 0;
  overlong = false;
  while (c != EOF && !std::isspace(c)) {
    if (length < kTokenSize - 1)
      token[length++] = static_cast<char>(c);
    else
      overlong = true;
    c = std::fgetc(stream);
  }
  // The blank that ended the word stays in the stream, as with formatted
  // input: a quoted value counts it as the first of its two skipped characters.
  if (c != EOF) std::ungetc(c, stream);
  token[length] = '\0';
  return true;
}

// Formatted integer input: white space skipped, an optional sign, digits.
// Nothing but the white space is consumed when no digit follows (a lone
// sign is lost, as with the standard library). Values beyond int32 clamp.
bool read_int(std::FILE* stream, int32_t& value) {
  int c;
  do {
    c = std::fgetc(stream);
  } while (c != EOF && std::isspace(c));
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    c = std::fgetc(stream);
  }
  if (c == EOF || !std::isdigit(c)) {
    if (c != EOF) std::ungetc(c, stream);
    return false;
  }
  long long magnitude = 0;
  while (c != EOF && std::isdigit(c)) {
    if (magnitude <= INT_MAX) magnitude = magnitude * 10 + (c - '0');
    c = std::fgetc(stream);
  }
  if (c != EOF) std::ungetc(c, stream);
  long long signed_value = negative ? -magnitude : magnitude;
  if (signed_value > INT_MAX) signed_value = INT_MAX;
  if (signed_value < INT_MIN) signed_value = INT_MIN;
  value = static_cast<int32_t>(signed_value);
  return true;
}

// Quoted text: the two characters after the keyword (a blank and the opening
// quote) are passed over unseen, then everything up to the next double quote
// is the value. What does not fit the field is dropped; the end of the stream
// ends the value.
void read_quoted(std::FILE* stream, char* field, std::size_t size) {
  for (int skip = 0; skip < 2; ++skip)
    if (std::fgetc(stream) == EOF) {
      field[0] = '\0';
      return;
    }
  std::size_t length = 0;
  int c;
  while ((c = std::fgetc(stream)) != EOF && c != '"')
    if (length < size - 1) field[length++] = static_cast<char>(c);
  field[length] = '\0';
}

void set_resolution_row(GameSettings& settings, int32_t row) {
  settings.resolution_index = row;
  settings.screen_width = resolution_table[static_cast<std::size_t>(row)].width;
  settings.screen_height = resolution_table[static_cast<std::size_t>(row)].height;
}

}  // namespace

int read_config(GameSettings& settings, std::FILE* stream) {
  set_resolution_row(settings, kDefaultResolutionRow);
  settings.sound_enabled = 1;
  settings.music_enabled = 1;
  settings.particles_enabled = 1;

  std::rewind(stream);
  char token[kTokenSize];
  bool overlong = false;
  if (!read_token(stream, token, overlong) || overlong || std::strcmp(token, "MRVN_CONFIG") != 0)
    return 0;

  while (read_token(stream, token, overlong)) {
    if (overlong) continue;
    int32_t value = 0;
    if (std::strcmp(token, "SET_RESOLUTION") == 0) {
      // A row outside the table is ignored: the previous row stays in force.
      if (read_int(stream, value) && value >= 0 &&
          value < static_cast<int32_t>(resolution_table.size()))
        set_resolution_row(settings, value);
    } else if (std::strcmp(token, "SET_PLAYERNAME") == 0) {
      read_quoted(stream, settings.player_name, sizeof settings.player_name);
    } else if (std::strcmp(token, "SET_SOUND") == 0) {
      if (read_int(stream, value)) settings.sound_enabled = value;
    } else if (std::strcmp(token, "SET_MUSIC") == 0) {
      if (read_int(stream, value)) settings.music_enabled = value;
    } else if (std::strcmp(token, "SET_PARTICLES") == 0) {
      if (read_int(stream, value)) settings.particles_enabled = value;
    } else if (std::strcmp(token, "SET_SERVER") == 0) {
      if (read_int(stream, value)) settings.is_host = value;
    } else if (std::strcmp(token, "SET_NETWORKING") == 0) {
      if (read_int(stream, value)) {
        settings.use_ipx = value == 0 ? 1 : 0;
        settings.use_tcpip = value == 1 ? 1 : 0;
      }
    } else if (std::strcmp(token, "SET_IPADDRESS") == 0) {
      read_quoted(stream, settings.host_address, sizeof settings.host_address);
    }
  }
  return 1;
}
