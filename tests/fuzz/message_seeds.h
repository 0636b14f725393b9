// Seed messages for the network targets, made by the game's own encoders.
#pragma once

#include <vector>

#include "tests/fuzz/fuzz_target.h"

// One of every game message as a host or a client sends it, a numbered
// shot as the host relays it, and an invalid and an unknown message.
std::vector<FuzzSeed> game_message_seeds();
// A player joining and leaving, the host gone, the session lost, an
// unknown system message.
std::vector<FuzzSeed> system_message_seeds();

// Runs one game message into a fresh host or client game and checks the game.
void fuzz_one_game_message(bool host, const uint8_t* data, std::size_t size);
