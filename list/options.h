// The command line of morvane-list:
//   morvane-list [--listen ADDRESS] [--http-port PORT] [--proof-port PORT]
//                [--bench-fill N] [--help] [--version]
#pragma once

#include <cstddef>
#include <cstdint>

#include "list/list_service.h"

struct ListOptions {
  uint32_t listen_address = 0;  // host byte order; 0: every interface
  uint16_t http_port = list::kDefaultHttpPort;
  uint16_t proof_port = list::kDefaultProofPort;
  int32_t bench_fill = 0;  // games listed at start, for benchmarks only
  bool help = false;
  bool version = false;
};

// Reads the arguments after the program name. False with a sentence for the
// operator in error when they are not understood.
bool parse_list_options(int argc, const char* const* argv, ListOptions& options, char* error,
                        std::size_t error_size);

extern const char* const kListUsage;
extern const char* const kListVersion;
