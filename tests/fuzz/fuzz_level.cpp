// The level file through the game's loader.
#include <cmath>

#include "tests/fuzz/fuzz_support.h"
#include "world/level.h"

namespace {

bool finite_object(const LevelObject& o) {
  for (float v : {o.x, o.y, o.z, o.size_x, o.size_y, o.size_z, o.tex_scale_x, o.tex_scale_y,
                  o.tex_scale_z, o.lift_speed, o.lift_travel, o.lift_base_y})
    if (!std::isfinite(v)) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  auto level = std::make_unique<LevelTable>();
  std::FILE* file = open_bytes({data, size});
  if (!file) return 0;
  const int status = read_level(*level, file);
  std::fclose(file);
  fuzz_require(status == 0 || status == 1, "the loader returns 0 or 1");
  fuzz_require(level->count >= 0 && level->count < static_cast<int32_t>(kLevelObjectCount),
               "the object count stays below the table's size");
  fuzz_require(level->entry_count >= 0 && level->entry_count <= static_cast<int32_t>(kEntryPlaceCount),
               "the entry places fit their table");
  fuzz_require(status == 1 || level->entry_count == 0, "a refused file leaves no entry place");
  for (int32_t i = 0; i < level->entry_count; ++i) {
    const EntryPlace& place = level->entries[static_cast<std::size_t>(i)];
    for (float v : {place.x, place.y, place.z})
      fuzz_require(std::isfinite(v) && std::fabs(v) <= 100.0f, "entry places lie inside the level's cube");
  }
  for (const LevelObject& object : level->objects) {
    if (!object.in_use) continue;
    fuzz_require(status == 1, "a refused file leaves no object in use");
    fuzz_require(object.kind == LEVEL_KIND_QUAD || object.kind == LEVEL_KIND_LIFT ||
                     object.kind == LEVEL_KIND_OTHER,
                 "object kinds are the three known ones");
    fuzz_require(finite_object(object), "object values are finite");
    if (object.kind == LEVEL_KIND_LIFT)
      fuzz_require(object.lift_base_y == object.y && object.lift_state == LIFT_DOWN, "lifts start down at their base");
  }
  return 0;
}

std::vector<FuzzSeed> fuzz_seeds() {
  return {
      {"default_mvl", read_file_bytes(MORVANE_SOURCE_DIR "/assets/level/default.mvl")},
      {"small", bytes_of("MRVN_LEVEL 0.5 free words BEGIN_OBJECT_DEFINITION\n"
                         "OBJECT QUAD -10 0 -10 20 1 20 4 4 4 1 2 1 0\n"
                         "OBJECT LIFT 0 2 0 2 0.5 2 1 1 1 0 5 1 1 0.05 3 1\n"
                         "OBJECT WALL 5 0 5 1 1 1 0 0 0 0 1 1 1\n"
                         "END_OBJECT_DEFINITION comment BEGIN_OBJECT_DEFINITION END_OBJECT_DEFINITION\n"
                         "BEGIN_ENTRY_DEFINITION ENTRY 1 0 2 ENTRY -5 3 40 END_ENTRY_DEFINITION EOF")},
  };
}
