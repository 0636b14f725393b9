#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "configurator/config_writer.h"
#include "tests/configurator/form_fixture.h"

namespace {

TEST(ConfigWriter, ReplacesTheWholeFileAndLeavesNoTemporary) {
  ScratchDirectory scratch;
  std::string path = scratch.file("config.dat");
  write_bytes(path, std::string(500, 'o'));
  EXPECT_EQ(replace_file(path, "short"), "");
  EXPECT_EQ(read_bytes(path), "short");
  EXPECT_EQ(scratch.names(), std::vector<std::string>{"config.dat"});

  struct stat info;
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask) << "permissions of an ordinarily created file";
}

// A write that fails half way (here: the file size limit is reached) must
// leave the earlier file whole and no temporary behind.
TEST(ConfigWriter, FailedWriteKeepsTheOldFile) {
  ScratchDirectory scratch;
  std::string path = scratch.file("config.dat");
  write_bytes(path, "the earlier configuration");

  struct rlimit saved_limit;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved_limit), 0);
  struct rlimit small = saved_limit;
  small.rlim_cur = 64;
  auto saved_handler = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string failure = replace_file(path, std::string(200, 'x'));
  ::setrlimit(RLIMIT_FSIZE, &saved_limit);
  ::signal(SIGXFSZ, saved_handler);

  EXPECT_NE(failure.find("config.dat"), std::string::npos);
  EXPECT_EQ(read_bytes(path), "the earlier configuration");
  EXPECT_EQ(scratch.names(), std::vector<std::string>{"config.dat"});
}

}  // namespace
