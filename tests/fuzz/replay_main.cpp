// The replay program of one fuzz target: runs the target's seeds, then every
// file named on the command line and every file of every directory named
// there (saved corpora and the reproducers of fixed findings), and fails as
// soon as one input breaks the target. With --write-seeds DIR it writes the
// seeds into DIR instead, as a starting corpus for the fuzzer.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_support.h"

namespace fs = std::filesystem;

namespace {

void run(const std::string& name, const FuzzInput& bytes) {
  set_fuzz_input_name(name);
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

int write_seeds(const fs::path& directory) {
  std::error_code error;
  fs::create_directories(directory, error);
  for (const FuzzSeed& seed : fuzz_seeds()) {
    std::FILE* file = std::fopen((directory / seed.name).c_str(), "wb");
    if (!file) {
      std::fprintf(stderr, "cannot write %s\n", (directory / seed.name).c_str());
      return 1;
    }
    std::fwrite(seed.bytes.data(), 1, seed.bytes.size(), file);
    std::fclose(file);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--write-seeds") return write_seeds(argv[2]);
  int count = 0;
  for (const FuzzSeed& seed : fuzz_seeds()) {
    run("seed " + seed.name, seed.bytes);
    ++count;
  }
  for (int i = 1; i < argc; ++i) {
    const fs::path path = argv[i];
    std::vector<fs::path> files;
    if (fs::is_directory(path)) {
      for (const fs::directory_entry& entry : fs::directory_iterator(path))
        if (entry.is_regular_file()) files.push_back(entry.path());
      std::sort(files.begin(), files.end());
    } else if (fs::is_regular_file(path)) {
      files.push_back(path);
    } else {
      std::fprintf(stderr, "no such input: %s\n", argv[i]);
      return 1;
    }
    for (const fs::path& file : files) {
      run(file.string(), read_file_bytes(file.string()));
      ++count;
    }
  }
  std::printf("%d inputs replayed\n", count);
  return 0;
}
