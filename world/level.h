// The level: up to 256 axis-aligned boxes read from the level file.
#pragma once

#include <cstdio>

#include "core/level_table.h"

// Loads the level file. Returns 1 when the file opened and its header was
// accepted, 0 otherwise.
int load_level(LevelTable& level, const char* path);
// The same from a stream open for reading, which stays open.
int read_level(LevelTable& level, std::FILE* file);
