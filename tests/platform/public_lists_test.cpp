// lists.txt, the file naming the public lists, read as the server and the
// game both read it: hostile lines left out with their numbers, the rest
// kept.
#include "platform/public_lists.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace platform;

namespace {

struct Warnings {
  std::vector<std::string> lines;
  static void add(void* context, int line, const char* why) {
    static_cast<Warnings*>(context)->lines.push_back(std::to_string(line) + ": " + why);
  }
  bool has(const std::string& start) const {
    for (const std::string& line : lines)
      if (line.rfind(start, 0) == 0) return true;
    return false;
  }
};

std::string entry(const ListAddress& address) { return std::string(address.host) + ":" + std::to_string(address.port); }

}  // namespace

TEST(ListsFile, EntriesAreKeptAndEveryOtherLineIsLeftOutAndToldByNumber) {
  Warnings told;
  const std::string text = std::string("# the lists\n\n  lists.example.org:24680  # ours\n10.0.0.7:80\n") +
                           "bare.example\n"              // 5: the default port
                           ":24680\nhost:0\nhost:65536\nhost:12a\nbad:port\n"  // 6-10
                           "sp ace:24680\nhost:24680 extra\n"                  // 11-12
                           "user@evil.example/x?:1\n[::1]:24680\na:b:1\n"     // 13-15: not a plain host
                           "127.0.0.1:9000\r\n" +                            // 16: a DOS line end
                           std::string("nul\0.example:1\n", 15) +            // 17
                           "x" + std::string(600, 'y') + ":24680\n" +         // 18
                           "last.example:1";                                  // 19, no end of line
  const ListAddresses lists = parse_list_addresses(text, Warnings::add, &told);
  ASSERT_EQ(lists.count, 5u);
  EXPECT_EQ(entry(lists.lists[0]), "lists.example.org:24680");
  EXPECT_EQ(entry(lists.lists[1]), "10.0.0.7:80");
  EXPECT_EQ(entry(lists.lists[2]), "bare.example:" + std::to_string(kDefaultListPort));
  EXPECT_EQ(entry(lists.lists[3]), "127.0.0.1:9000");
  EXPECT_EQ(entry(lists.lists[4]), "last.example:1");
  ASSERT_EQ(told.lines.size(), 12u);
  for (int line = 6; line <= 15; ++line) EXPECT_TRUE(told.has(std::to_string(line) + ": not an address")) << line;
  EXPECT_TRUE(told.has("17: not an address"));
  EXPECT_TRUE(told.has("18: the line is too long"));
  // Without a callback the same lines are left out, quietly.
  EXPECT_EQ(parse_list_addresses(text).count, 5u);

  // More than eight are cut to eight, each one past them told.
  std::string many;
  for (int i = 0; i < 10; ++i) many += "list" + std::to_string(i) + ".example:24680\n";
  Warnings cut;
  const ListAddresses eight = parse_list_addresses(many, Warnings::add, &cut);
  EXPECT_EQ(eight.count, kMaxLists);
  EXPECT_STREQ(eight.lists[7].host, "list7.example");
  EXPECT_EQ(cut.lines, (std::vector<std::string>{"9: too many lists: only the first 8 are used",
                                                 "10: too many lists: only the first 8 are used"}));
  // The shipped file: its example commented out, so no list.
  EXPECT_EQ(parse_list_addresses("#lists.example.org:24680\n").count, 0u);
}

TEST(ListsFile, AFileIsReadInWholeLinesUpToItsLimitAndAnUnreadableOneNamesNone) {
  const std::string path = testing::TempDir() + "lists_file_test." + std::to_string(getpid());
  // Padding up to just short of the limit, then an entry the limit cuts in
  // the middle of its port: it must not be read as list.example:2.
  std::string text = "first.example:1\n";
  while (text.size() < kMaxListsFile - 15) text += "# padding padding padding\n";
  text.resize(kMaxListsFile - 15);
  text += "\nlist.example:24680\nnext.example:2\n";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
  Warnings told;
  ListAddresses lists;
  ASSERT_TRUE(read_list_addresses(path.c_str(), lists, Warnings::add, &told));
  ASSERT_EQ(lists.count, 1u);
  EXPECT_EQ(entry(lists.lists[0]), "first.example:1");
  ASSERT_EQ(told.lines.size(), 1u);
  EXPECT_NE(told.lines[0].find("longer than 64 KiB"), std::string::npos) << told.lines[0];
  std::remove(path.c_str());

  lists.count = 3;
  EXPECT_FALSE(read_list_addresses(path.c_str(), lists));
  EXPECT_EQ(lists.count, 0u);
  EXPECT_FALSE(read_list_addresses(testing::TempDir().c_str(), lists));  // a directory
  EXPECT_EQ(lists.count, 0u);
}
