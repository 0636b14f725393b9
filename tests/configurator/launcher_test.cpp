#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "configurator/game_launcher.h"
#include "tests/configurator/form_fixture.h"

namespace {

// A stand-in game program that writes its tag into the current directory.
void write_stand_in(const ScratchDirectory& where, const std::string& tag) {
  write_bytes(where.file("Morvane"), "#!/bin/sh\necho " + tag + " > started.txt\n");
  ::chmod(where.file("Morvane").c_str(), 0755);
}

std::string started_by(const ScratchDirectory& here) {
  for (int attempt = 0; attempt < 300; ++attempt) {
    std::string bytes = read_bytes(here.file("started.txt"));
    if (!bytes.empty()) return bytes;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return {};
}

// Each case runs the launcher inside `here`, with PATH set to `on_path`.
class GameLauncher : public testing::Test {
 protected:
  GameLauncher() : old_directory_(std::filesystem::current_path()), old_path_(std::getenv("PATH")) {
    std::filesystem::current_path(here.path());
    ::setenv("PATH", on_path.path().c_str(), 1);
  }
  ~GameLauncher() override {
    std::filesystem::current_path(old_directory_);
    ::setenv("PATH", old_path_.c_str(), 1);
    reap_game_programs();
  }

  ScratchDirectory here;
  ScratchDirectory on_path;

 private:
  std::filesystem::path old_directory_;
  std::string old_path_;
};

TEST_F(GameLauncher, PrefersTheCurrentDirectoryThenThePath) {
  write_stand_in(on_path, "path");
  EXPECT_EQ(start_game_program(), "");
  EXPECT_EQ(started_by(here), "path\n");

  std::filesystem::remove(here.file("started.txt"));
  write_stand_in(here, "local");
  EXPECT_EQ(start_game_program(), "");
  EXPECT_EQ(started_by(here), "local\n");
}

TEST_F(GameLauncher, MissingProgramIsReportedNotIgnored) {
  std::string failure = start_game_program();
  EXPECT_NE(failure.find("Morvane"), std::string::npos);
  EXPECT_NE(failure.find("No such file or directory"), std::string::npos) << failure;
}

}  // namespace
