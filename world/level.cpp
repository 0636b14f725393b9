#include "world/level.h"

#include <cstdio>

// Stand-in until the level reader lands: accepts any file that opens.
int load_level(LevelTable& level, const char* path) {
  for (LevelObject& object : level.objects) object.in_use = 0;
  std::FILE* file = std::fopen(path, "r");
  if (!file) return 0;
  std::fclose(file);
  return 1;
}
