#include "world/level.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr float kHighestVersion = 0.55f;
constexpr std::size_t kMaxWordLength = 79;
constexpr float kLevelBound = 100.0f;  // the level is built inside -100..100 on each axis

// Words of the level file, separated by whitespace, with a sticky error: a
// word longer than 79 characters or a number that does not parse marks the
// file as broken, and the loader refuses a broken file as a whole rather
// than guess what its author meant.
class WordReader {
 public:
  explicit WordReader(std::FILE* file) : file_(file) {}

  // The next word, or false at the end of the file or after an error.
  bool next(char (&word)[kMaxWordLength + 1]) {
    if (broken_) return false;
    int c = std::fgetc(file_);
    while (c != EOF && is_space(c)) c = std::fgetc(file_);
    if (c == EOF) return false;
    std::size_t length = 0;
    while (c != EOF && !is_space(c)) {
      if (length == kMaxWordLength) {
        broken_ = true;
        return false;
      }
      word[length++] = static_cast<char>(c);
      c = std::fgetc(file_);
    }
    word[length] = '\0';
    return true;
  }

  // A finite decimal number filling the whole word.
  bool next_float(float& value) {
    char word[kMaxWordLength + 1];
    if (!next(word)) return false;
    char* end = nullptr;
    errno = 0;
    const float parsed = std::strtof(word, &end);
    if (*end != '\0' || errno == ERANGE || !std::isfinite(parsed)) return fail();
    value = parsed;
    return true;
  }

  // A whole number filling the whole word, within 32 bits.
  bool next_int(int32_t& value) {
    char word[kMaxWordLength + 1];
    if (!next(word)) return false;
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(word, &end, 10);
    if (*end != '\0' || errno == ERANGE || parsed < INT32_MIN || parsed > INT32_MAX) return fail();
    value = static_cast<int32_t>(parsed);
    return true;
  }

  bool broken() const { return broken_; }

 private:
  static bool is_space(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
  bool fail() {
    broken_ = true;
    return false;
  }

  std::FILE* file_;
  bool broken_ = false;
};

// The texture repeats every tile-size units. A tile size of 0 would give an
// infinite scale; it is read as a tile of 1 unit instead.
float texture_scale(float tile_size) { return tile_size == 0.0f ? 1.0f : 1.0f / tile_size; }

// Tokens 1 to 17 of an object, after the word "OBJECT". False when the file
// ends inside the object or breaks; the slot is then left as it was.
bool read_object(WordReader& in, LevelObject& object) {
  char type[kMaxWordLength + 1];
  if (!in.next(type)) return false;
  LevelObject read{};
  read.kind = LEVEL_KIND_OTHER;
  if (std::strcmp(type, "QUAD") == 0) read.kind = LEVEL_KIND_QUAD;
  if (std::strcmp(type, "LIFT") == 0) read.kind = LEVEL_KIND_LIFT;
  float tile_x = 0, tile_y = 0, tile_z = 0;
  // The texture mode comes before the texture number.
  if (!(in.next_float(read.x) && in.next_float(read.y) && in.next_float(read.z) &&
        in.next_float(read.size_x) && in.next_float(read.size_y) && in.next_float(read.size_z) &&
        in.next_float(tile_x) && in.next_float(tile_y) && in.next_float(tile_z) &&
        in.next_int(read.texture_mode) && in.next_int(read.texture) && in.next_int(read.solid) &&
        in.next_int(read.translucent)))
    return false;
  read.tex_scale_x = texture_scale(tile_x);
  read.tex_scale_y = texture_scale(tile_y);
  read.tex_scale_z = texture_scale(tile_z);
  read.in_use = 1;
  if (read.kind == LEVEL_KIND_LIFT) {
    if (!(in.next_float(read.lift_speed) && in.next_float(read.lift_travel) &&
          in.next_int(read.lift_pillar)))
      return false;
    read.lift_base_y = read.y;
    read.lift_state = LIFT_DOWN;
  }
  object = read;
  return true;
}

// One definition block, after "BEGIN_OBJECT_DEFINITION". False when the
// file ended (inside the block, which ends the load normally) or broke.
bool read_block(WordReader& in, LevelTable& level) {
  char word[kMaxWordLength + 1];
  while (in.next(word)) {
    if (std::strcmp(word, "END_OBJECT_DEFINITION") == 0) return true;
    if (std::strcmp(word, "OBJECT") != 0) continue;
    LevelObject& slot = level.objects[static_cast<std::size_t>(level.count)];
    if (!read_object(in, slot)) return false;
    // The last slot is reused by every object after the 256th.
    level.count += 1;
    if (level.count == static_cast<int32_t>(kLevelObjectCount)) level.count = kLevelObjectCount - 1;
  }
  return false;
}

// One entry block, after "BEGIN_ENTRY_DEFINITION": "ENTRY x y z" names a
// place to enter play; other words are skipped. Places outside the level's
// cube and those past the table's size are left out. False when the file
// ended or broke.
bool read_entry_block(WordReader& in, LevelTable& level) {
  char word[kMaxWordLength + 1];
  while (in.next(word)) {
    if (std::strcmp(word, "END_ENTRY_DEFINITION") == 0) return true;
    if (std::strcmp(word, "ENTRY") != 0) continue;
    EntryPlace place;
    if (!(in.next_float(place.x) && in.next_float(place.y) && in.next_float(place.z))) return false;
    const bool inside = std::fabs(place.x) <= kLevelBound && std::fabs(place.y) <= kLevelBound &&
                        std::fabs(place.z) <= kLevelBound;
    if (inside && level.entry_count < static_cast<int32_t>(kEntryPlaceCount))
      level.entries[static_cast<std::size_t>(level.entry_count++)] = place;
  }
  return false;
}

// The version, when the word after the header is a number; a missing or
// unreadable version counts as 0 (an unreadable word is then a comment).
float read_version(std::FILE* file) {
  float version = 0.0f;
  if (std::fscanf(file, "%f", &version) != 1) return 0.0f;
  return version;
}

}  // namespace

// Hostile files: a word longer than 79 characters or a number that does not
// parse refuses the whole file (0), as a missing file would.
int read_level(LevelTable& level, std::FILE* file) {
  for (LevelObject& object : level.objects) object.in_use = 0;
  level.entry_count = 0;
  WordReader in(file);
  char word[kMaxWordLength + 1];
  bool accepted = in.next(word) && std::strcmp(word, "MRVN_LEVEL") == 0;
  if (accepted) accepted = !(read_version(file) > kHighestVersion);
  while (accepted && in.next(word)) {
    if (std::strcmp(word, "EOF") == 0) break;
    if (std::strcmp(word, "BEGIN_OBJECT_DEFINITION") == 0 && !read_block(in, level)) break;
    if (std::strcmp(word, "BEGIN_ENTRY_DEFINITION") == 0 && !read_entry_block(in, level)) break;
  }
  if (accepted && !in.broken()) return 1;
  for (LevelObject& object : level.objects) object.in_use = 0;
  level.entry_count = 0;
  return 0;
}

int load_level(LevelTable& level, const char* path) {
  std::FILE* file = std::fopen(path, "r");
  if (!file) {
    for (LevelObject& object : level.objects) object.in_use = 0;
    level.entry_count = 0;
    return 0;
  }
  const int result = read_level(level, file);
  std::fclose(file);
  return result;
}
