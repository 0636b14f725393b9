// Helpers of the fuzz targets: the checks run after every input, games set
// up as a host or a client without window or sound, and byte builders.
#pragma once

#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/game.h"
#include "tests/fuzz/fuzz_target.h"

// Stops the process with the broken invariant and the input's name, so that
// libFuzzer keeps the input and the replay test fails on it.
void fuzz_require(bool condition, const char* what);
// The name of the input being run, for fuzz_require's report.
void set_fuzz_input_name(const std::string& name);

// Everything the game state must hold after any input: indices in range,
// texts terminated inside their fields, at most 8 sessions listed, finite
// positions in the player table and no position that is not a number.
void check_game(const Game& game);

// The session under a fuzzed game: messages waiting to be received, and a
// count of the messages the game sent, each checked on the way out (a known
// game message size, never more than the receive buffer holds).
struct FuzzWire {
  struct Waiting {
    uint32_t from;
    FuzzInput bytes;
    uint32_t waited_ms = 0;  // how long it waited to be taken
  };
  std::vector<Waiting> inbox;
  std::size_t next = 0;
  int sent = 0;
};

// A game in session over TCP/IP with two players: the host (player id 1,
// slot 0) and one client (id 2, slot 1); `host` says which of them this
// program is. Sound is off, so shots play nothing. One wire serves the
// process and is emptied here.
std::unique_ptr<Game> make_session_game(bool host);
FuzzWire& fuzz_wire();

// A read-only stream over the bytes (null for no bytes); close with fclose.
std::FILE* open_bytes(std::span<const uint8_t> bytes);

// Little-endian byte building for seeds.
void put_u16(FuzzInput& out, uint16_t value);
void put_u32(FuzzInput& out, uint32_t value);
void put_text(FuzzInput& out, const std::string& text);
FuzzInput bytes_of(const std::string& text);
// A whole file, or nothing when it cannot be read.
FuzzInput read_file_bytes(const std::string& path);
