// The game's reader of config.dat, from the files the configurator writes to
// files nobody should ever write.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/settings.h"

namespace {

struct ReadResult {
  int status;
  GameSettings settings;
};

ReadResult read_text(const std::string& text, GameSettings settings = {}) {
  std::FILE* stream = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), stream);
  const int status = read_config(settings, stream);
  std::fclose(stream);
  return {status, settings};
}

const char kDefaultFile[] =
    "MRVN_CONFIG\r\n\r\r\nSET_RESOLUTION 3 \r\nSET_SOUND 1 \r\nSET_MUSIC 1 \r\n"
    "SET_PARTICLES 1 \r\nSET_PLAYERNAME \"Player\"\r\nSET_SERVER 1\r\n"
    "SET_NETWORKING 0 \r\nSET_IPADDRESS \"0.0.0.0\"\r\n";

}  // namespace

TEST(ReadConfig, ReadsTheConfiguratorsDefaultFile) {
  const ReadResult r = read_text(kDefaultFile);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.settings.resolution_index, 3);
  EXPECT_EQ(r.settings.screen_width, 640);
  EXPECT_EQ(r.settings.screen_height, 480);
  EXPECT_EQ(r.settings.sound_enabled, 1);
  EXPECT_EQ(r.settings.music_enabled, 1);
  EXPECT_EQ(r.settings.particles_enabled, 1);
  EXPECT_STREQ(r.settings.player_name, "Player");
  EXPECT_EQ(r.settings.is_host, 1);
  EXPECT_EQ(r.settings.use_ipx, 1);
  EXPECT_EQ(r.settings.use_tcpip, 0);
  EXPECT_STREQ(r.settings.host_address, "0.0.0.0");
}

TEST(ReadConfig, HeaderAloneGivesTheDefaults) {
  const ReadResult r = read_text("MRVN_CONFIG");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.settings.resolution_index, 3);
  EXPECT_EQ(r.settings.screen_width, 640);
  EXPECT_EQ(r.settings.sound_enabled, 1);
  EXPECT_EQ(r.settings.music_enabled, 1);
  EXPECT_EQ(r.settings.particles_enabled, 1);
  EXPECT_EQ(r.settings.is_host, 0);
  EXPECT_EQ(r.settings.use_ipx, 0);
  EXPECT_EQ(r.settings.use_tcpip, 0);
  EXPECT_STREQ(r.settings.player_name, "");
  EXPECT_STREQ(r.settings.host_address, "");
}

TEST(ReadConfig, WrongOrMissingHeaderKeepsDefaultsAndReportsZero) {
  for (const char* text : {"", "mrvn_config SET_SOUND 0", "SET_SOUND 0", "MRVN_CONFIGX SET_SOUND 0",
                           "\xff\xfe\x00garbage"}) {
    GameSettings before;
    before.sound_enabled = 0;
    const ReadResult r = read_text(text, before);
    EXPECT_EQ(r.status, 0) << text;
    EXPECT_EQ(r.settings.sound_enabled, 1) << "defaults are set before the header is read";
    EXPECT_EQ(r.settings.screen_width, 640);
  }
}

TEST(ReadConfig, KeywordsAreCaseSensitiveAndWholeTokens) {
  EXPECT_EQ(read_text("MRVN_CONFIG set_sound 0").settings.sound_enabled, 1);
  EXPECT_EQ(read_text("MRVN_CONFIG SET_SOUNDS 0").settings.sound_enabled, 1);
  EXPECT_EQ(read_text("MRVN_CONFIG SET_SOUND 0").settings.sound_enabled, 0);
}

TEST(ReadConfig, FlagsKeepTheirIntegerAndNumbersIgnoreBlanks) {
  const ReadResult r = read_text("MRVN_CONFIG SET_SOUND 2 SET_MUSIC\t\t-7 SET_PARTICLES\r\n0 SET_SERVER +3");
  EXPECT_EQ(r.settings.sound_enabled, 2);
  EXPECT_EQ(r.settings.music_enabled, -7);
  EXPECT_EQ(r.settings.particles_enabled, 0);
  EXPECT_EQ(r.settings.is_host, 3);
}

TEST(ReadConfig, NetworkingChoosesAtMostOneTransport) {
  struct Case {
    const char* value;
    int ipx, tcpip;
  } cases[] = {{"0", 1, 0}, {"1", 0, 1}, {"2", 0, 0}, {"-1", 0, 0}, {"99", 0, 0}};
  for (const Case& c : cases) {
    const ReadResult r = read_text(std::string("MRVN_CONFIG SET_NETWORKING ") + c.value);
    EXPECT_EQ(r.settings.use_ipx, c.ipx) << c.value;
    EXPECT_EQ(r.settings.use_tcpip, c.tcpip) << c.value;
  }
}

TEST(ReadConfig, LastOccurrenceWinsInAnyOrderOnAnyLine) {
  const ReadResult r = read_text(
      "MRVN_CONFIG SET_RESOLUTION 5 SET_PLAYERNAME \"A\" SET_RESOLUTION 1 SET_PLAYERNAME \"B\"");
  EXPECT_EQ(r.settings.resolution_index, 1);
  EXPECT_EQ(r.settings.screen_width, 400);
  EXPECT_EQ(r.settings.screen_height, 300);
  EXPECT_STREQ(r.settings.player_name, "B");
}

TEST(ReadConfig, OutOfRangeResolutionKeepsTheRowInForce) {
  for (const char* value : {"99", "-1", "6", "2147483647", "99999999999999999999"}) {
    const ReadResult r = read_text(std::string("MRVN_CONFIG SET_RESOLUTION ") + value);
    EXPECT_EQ(r.settings.resolution_index, 3) << value;
    EXPECT_EQ(r.settings.screen_width, 640) << value;
    EXPECT_EQ(r.settings.screen_height, 480) << value;
  }
  const ReadResult r = read_text("MRVN_CONFIG SET_RESOLUTION 0 SET_RESOLUTION 99");
  EXPECT_EQ(r.settings.screen_width, 320);
}

TEST(ReadConfig, UnreadableNumberLeavesTheFieldAndReadsTheWordAsAToken) {
  const ReadResult r = read_text("MRVN_CONFIG SET_SOUND SET_MUSIC 0");
  EXPECT_EQ(r.settings.sound_enabled, 1);
  EXPECT_EQ(r.settings.music_enabled, 0);
}

TEST(ReadConfig, QuoteInsideANameCutsItAndTheRestIsReadAsTokens) {
  const ReadResult r = read_text("MRVN_CONFIG SET_PLAYERNAME \"Big\" SET_SOUND 0 rest\"");
  EXPECT_STREQ(r.settings.player_name, "Big");
  EXPECT_EQ(r.settings.sound_enabled, 0);
}

TEST(ReadConfig, QuotedTextSkipsExactlyTwoCharacters) {
  EXPECT_STREQ(read_text("MRVN_CONFIG SET_PLAYERNAME \" \"").settings.player_name, " ");
  // With two blanks the second one is taken for the opening quote, so the
  // real quote ends an empty value.
  EXPECT_STREQ(read_text("MRVN_CONFIG SET_PLAYERNAME  \"Ann\"").settings.player_name, "");
}

TEST(ReadConfig, OverlongValuesAreCutToTheirFields) {
  const std::string name40(40, 'N');
  ReadResult r = read_text("MRVN_CONFIG SET_PLAYERNAME \"" + name40 + "\" SET_SOUND 0");
  EXPECT_EQ(std::string(r.settings.player_name), name40.substr(0, 39));
  EXPECT_EQ(r.settings.sound_enabled, 0) << "reading goes on after the closing quote";

  const std::string huge(10000, 'x');
  r = read_text("MRVN_CONFIG SET_PLAYERNAME \"" + huge + "\" SET_IPADDRESS \"" + huge + "\" SET_MUSIC 0");
  EXPECT_EQ(std::string(r.settings.player_name).size(), 39u);
  EXPECT_EQ(std::string(r.settings.host_address).size(), 255u);
  EXPECT_EQ(r.settings.music_enabled, 0);
}

TEST(ReadConfig, MissingClosingQuoteStopsAtTheEnd) {
  ReadResult r = read_text("MRVN_CONFIG SET_SOUND 0 SET_PLAYERNAME \"Never closed SET_MUSIC 0");
  EXPECT_EQ(r.status, 1);
  EXPECT_STREQ(r.settings.player_name, "Never closed SET_MUSIC 0");
  EXPECT_EQ(r.settings.music_enabled, 1);
  EXPECT_EQ(r.settings.sound_enabled, 0);
  r = read_text("MRVN_CONFIG SET_IPADDRESS");
  EXPECT_STREQ(r.settings.host_address, "");
  r = read_text("MRVN_CONFIG SET_IPADDRESS \"");
  EXPECT_STREQ(r.settings.host_address, "");
}

TEST(ReadConfig, OverlongTokensNeverMatchAKeyword) {
  const std::string token(500, 'S');
  ReadResult r = read_text("MRVN_CONFIG " + token + " SET_SOUND 0");
  EXPECT_EQ(r.settings.sound_enabled, 0);
  // A keyword with 500 characters glued on is one long token, not the keyword.
  r = read_text("MRVN_CONFIG SET_SOUND" + token + " 0");
  EXPECT_EQ(r.settings.sound_enabled, 1);
  // Nor does an overlong first word pass for the header.
  EXPECT_EQ(read_text("MRVN_CONFIG" + token).status, 0);
}

TEST(ReadConfig, BinaryGarbageIsPassedOver) {
  std::string garbage = "MRVN_CONFIG ";
  for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 7919) % 256));
  garbage += " SET_PARTICLES 0";
  const ReadResult r = read_text(garbage);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.settings.particles_enabled, 0);
  EXPECT_GE(r.settings.resolution_index, 0);
  EXPECT_LT(r.settings.resolution_index, 6);
}
