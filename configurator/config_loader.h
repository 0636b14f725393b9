// The dialog starts from the config.dat it wrote last: each setting the file
// holds in a form the dialog can show replaces the start value; everything
// else keeps the start value and is named in a note for the player.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "configurator/config_form.h"

// A config.dat larger than this is not one the configurator wrote (its ten
// lines take at most a few hundred bytes); it is not read at all.
inline constexpr std::size_t kMaxConfigBytes = 64 * 1024;

// Puts the settings of a config.dat's bytes into a form that Form_Load has
// set to the start values, reading the file as the game does (tokens,
// numbers and quoted texts; the last of a repeated setting counts). Returns
// one note per setting that was missing or could not be used.
std::vector<std::string> load_config_bytes(ConfigMain& form, std::string_view bytes);

// The same from form.config_file. No file: the start values stay, with no
// note; a file that cannot be read or is too large: one note.
std::vector<std::string> load_saved_config(ConfigMain& form);
