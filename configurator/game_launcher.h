// Starting the game program beside the configurator.
#pragma once

#include <string>

// The game program's file name.
inline constexpr const char* kGameProgram = "Morvane";

// Starts the game program without waiting for it: the file "Morvane" in the
// current directory when there is one, otherwise the first "Morvane" on the
// PATH. It runs in a session of its own with the configurator's current
// directory, so it outlives the configurator. Returns an empty string on
// success, otherwise why it could not be started.
std::string start_game_program();

// Collects every finished game program, so none lingers as a zombie. Call it
// now and then (the dialog does on each timer tick).
void reap_game_programs();
