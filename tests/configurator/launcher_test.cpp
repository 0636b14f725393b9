#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "configurator/game_launcher.h"
#include "tests/configurator/form_fixture.h"

namespace {

using namespace std::chrono_literals;

// Runs a test inside a directory with its own PATH, and puts both back.
class InDirectory {
 public:
  InDirectory(const std::filesystem::path& directory, const std::string& path_variable)
      : old_directory_(std::filesystem::current_path()), old_path_(std::getenv("PATH")) {
    std::filesystem::current_path(directory);
    ::setenv("PATH", path_variable.c_str(), 1);
  }
  ~InDirectory() {
    std::filesystem::current_path(old_directory_);
    ::setenv("PATH", old_path_.c_str(), 1);
  }

 private:
  std::filesystem::path old_directory_;
  std::string old_path_;
};

// A stand-in game program that records where and as what it ran, then
// stays alive a while so that a launcher which waited would be caught.
void write_stand_in(const std::string& path, const std::string& tag) {
  write_bytes(path,
              "#!/bin/sh\nPATH=/usr/bin:/bin\n"
              "echo \"" + tag + " $$ $(ps -o sid= -p $$ | tr -d ' ') $(pwd)\" > started.txt\n"
              "sleep 2\n");
  ::chmod(path.c_str(), 0755);
}

std::string wait_for_file(const std::string& path) {
  for (int attempt = 0; attempt < 300; ++attempt) {
    std::string bytes = read_bytes(path);
    if (!bytes.empty() && bytes.back() == '\n') return bytes;
    std::this_thread::sleep_for(10ms);
  }
  return {};
}

TEST(GameLauncher, StartsTheLocalProgramFirstWithoutWaitingInItsOwnSession) {
  ScratchDirectory here;
  ScratchDirectory on_path;
  write_stand_in(here.file("Morvane"), "local");
  write_stand_in(on_path.file("Morvane"), "path");
  InDirectory inside(here.path(), on_path.path().string());

  auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(start_game_program(), "");
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1s) << "the launcher must not wait";

  std::istringstream record(wait_for_file(here.file("started.txt")));
  std::string tag, directory;
  pid_t pid = 0, session = 0;
  record >> tag >> pid >> session >> directory;
  EXPECT_EQ(tag, "local");
  EXPECT_EQ(session, pid) << "the game leads a session of its own";
  EXPECT_EQ(std::filesystem::path(directory), here.path());

  // Once it has ended, reaping leaves no zombie behind.
  for (int attempt = 0; attempt < 400 && ::kill(pid, 0) == 0; ++attempt) {
    reap_game_programs();
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_NE(::kill(pid, 0), 0);
}

TEST(GameLauncher, FallsBackToThePath) {
  ScratchDirectory here;
  ScratchDirectory on_path;
  write_stand_in(on_path.file("Morvane"), "path");
  InDirectory inside(here.path(), on_path.path().string());
  EXPECT_EQ(start_game_program(), "");
  EXPECT_EQ(wait_for_file(here.file("started.txt")).substr(0, 5), "path ");
}

TEST(GameLauncher, MissingProgramIsAnError) {
  ScratchDirectory here;
  ScratchDirectory empty;
  InDirectory inside(here.path(), empty.path().string());
  std::string failure = start_game_program();
  EXPECT_NE(failure.find("Morvane"), std::string::npos);
  EXPECT_NE(failure.find("No such file or directory"), std::string::npos) << failure;
}

}  // namespace
