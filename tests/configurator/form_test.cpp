#include <gtest/gtest.h>

#include <set>
#include <string>

#include "configurator/config_form.h"
#include "configurator/config_loader.h"
#include "core/settings.h"
#include "tests/configurator/form_fixture.h"

namespace {

std::string repeat(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

// The file the dialog's start values produce, written out by hand.
const std::string kDefaultFile =
    "MRVN_CONFIG\r\n"
    "\r\r\n"
    "SET_RESOLUTION 3 \r\n"
    "SET_SOUND 1 \r\n"
    "SET_MUSIC 1 \r\n"
    "SET_PARTICLES 1 \r\n"
    "SET_PLAYERNAME \"Player\"\r\n"
    "SET_SERVER 1\r\n"
    "SET_NETWORKING 0 \r\n"
    "SET_IPADDRESS \"0.0.0.0\"\r\n";

class ConfigForm : public testing::Test {
 protected:
  ConfigForm() {
    form.config_file = config_path();
    Form_Load(form);
    RefreshTimer_Timer(form);
  }

  std::string config_path() const { return scratch.file("config.dat"); }
  std::string saved() const { return read_bytes(config_path()); }

  // The saved file as the game program reads it.
  void read_back(GameSettings& settings) const {
    std::FILE* file = std::fopen(config_path().c_str(), "r");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(read_config(settings, file), 1);
    std::fclose(file);
  }

  void choose_join() {
    form.Option1.selected = false;
    form.Option2.selected = true;
  }
  void choose_create() {
    form.Option1.selected = true;
    form.Option2.selected = false;
  }

  ScratchDirectory scratch;
  ConfigMain form;
  RecordingServices services;
};

TEST_F(ConfigForm, StartsWithTheDefaultChoicesAndNoAddressField) {
  ASSERT_EQ(form.ResolutionBox.rows.size(), 6u);
  EXPECT_EQ(form.ResolutionBox.rows[form.ResolutionBox.selected], "640x480");
  EXPECT_EQ(form.ResolutionBox.rows.front(), "320x240");
  EXPECT_EQ(form.ResolutionBox.rows.back(), "1024x768");
  ASSERT_EQ(form.NetworkBox.rows.size(), 3u);
  EXPECT_EQ(form.NetworkBox.rows[form.NetworkBox.selected], "IPX Connection over LAN");
  EXPECT_EQ(form.NetworkBox.rows[1], "TCP/IP Connection over Internet");
  EXPECT_EQ(form.NetworkBox.rows[2], "No networking protocol");
  EXPECT_TRUE(form.DSoundCheck && form.DMusicCheck && form.ParticlesCheck);
  EXPECT_EQ(form.NameBox.text, "Player");
  EXPECT_TRUE(form.Option1.selected);
  EXPECT_FALSE(form.Option2.selected);
  EXPECT_TRUE(form.Option2.enabled);
  EXPECT_FALSE(form.IPBox.visible);
  EXPECT_FALSE(form.IPText_visible);
  EXPECT_EQ(form.IPBox.text, "0.0.0.0");
}

TEST_F(ConfigForm, AddressFieldIsOfferedOnlyWhenJoiningOverTcpip) {
  form.NetworkBox.selected = kNetworkTcpip;
  choose_join();
  EXPECT_FALSE(form.IPBox.visible) << "shown by the timer, not at once";
  RefreshTimer_Timer(form);
  EXPECT_TRUE(form.IPBox.visible);
  EXPECT_TRUE(form.IPText_visible);
  EXPECT_EQ(form.IPBox.text, "0.0.0.0");

  choose_create();
  RefreshTimer_Timer(form);
  EXPECT_FALSE(form.IPBox.visible);
  EXPECT_FALSE(form.IPText_visible);

  choose_join();
  form.NetworkBox.selected = kNetworkIpx;
  RefreshTimer_Timer(form);
  EXPECT_FALSE(form.IPBox.visible);
}

TEST_F(ConfigForm, NoProtocolAllowsOnlyCreatingAGame) {
  choose_join();
  form.NetworkBox.selected = kNetworkNone;
  RefreshTimer_Timer(form);
  EXPECT_TRUE(form.Option1.selected);
  EXPECT_FALSE(form.Option2.selected);
  EXPECT_FALSE(form.Option2.enabled);

  form.NetworkBox.selected = kNetworkTcpip;
  RefreshTimer_Timer(form);
  EXPECT_TRUE(form.Option2.enabled);
  EXPECT_FALSE(form.Option2.selected) << "join becomes selectable, not selected";
  EXPECT_TRUE(form.Option1.selected);
  EXPECT_FALSE(form.IPBox.visible);
}

TEST_F(ConfigForm, RandomNamesAreTheSameInEveryFreshRun) {
  ConfigMain other;
  Form_Load(other);
  std::vector<std::string> first;
  for (int press = 0; press < 3; ++press) {
    RandomButton_Click(form);
    RandomButton_Click(other);
    EXPECT_EQ(form.NameBox.text, other.NameBox.text);
    first.push_back(form.NameBox.text);
  }
  // Pinned, so that a generator seeded from the clock or changed between
  // builds shows up here and not only across two runs of the program.
  EXPECT_EQ(first, (std::vector<std::string>{"Jammy Dodger", "Vegetable Man", "Monkey Boy"}));

  std::set<std::string> drawn;
  for (int press = 0; press < 500; ++press) {
    RandomButton_Click(form);
    drawn.insert(form.NameBox.text);
  }
  EXPECT_EQ(drawn.size(), 10u) << "every one of the ten names can come up";
}

TEST_F(ConfigForm, DoneWithTheStartValuesWritesTheDefaultFileAndEnds) {
  EXPECT_EQ(DoneButton_Click(form, services), FormAction::end_program);
  EXPECT_EQ(saved(), kDefaultFile);
  EXPECT_TRUE(services.messages.empty());
  EXPECT_EQ(scratch.names(), std::vector<std::string>{"config.dat"}) << "no temporary left";
}

TEST_F(ConfigForm, EmptyNameIsRefusedAndLeavesTheOldFileAlone) {
  write_bytes(config_path(), "earlier file");
  form.NameBox.text.clear();
  EXPECT_EQ(DoneButton_Click(form, services), FormAction::stay_open);
  EXPECT_EQ(LaunchButton_Click(form, services), FormAction::stay_open);
  ASSERT_EQ(services.messages.size(), 2u);
  EXPECT_EQ(services.messages[0].text, "Please enter a valid name!");
  EXPECT_EQ(services.messages[0].title, "Warning");
  EXPECT_EQ(services.messages[0].icon, MessageIcon::exclamation);
  EXPECT_EQ(services.games_started, 0);
  EXPECT_EQ(saved(), "earlier file");

  type_text(form.NameBox, "Tank");
  EXPECT_EQ(DoneButton_Click(form, services), FormAction::end_program);
  EXPECT_NE(saved().find("SET_PLAYERNAME \"Tank\"\r\n"), std::string::npos);
}

TEST_F(ConfigForm, MissingResolutionIsRefusedWithItsOwnWarning) {
  form.ResolutionBox.selected = -1;
  form.NameBox.text.clear();
  EXPECT_EQ(SaveChanges(form, services), kCheckFailed);
  ASSERT_EQ(services.messages.size(), 1u) << "the resolution is checked first, alone";
  EXPECT_EQ(services.messages[0].text, "Please choose a resolution");
  EXPECT_EQ(services.messages[0].title, "Warning!");
  EXPECT_EQ(services.messages[0].icon, MessageIcon::exclamation);
  EXPECT_TRUE(scratch.names().empty());
}

TEST_F(ConfigForm, NamesAreSavedExactlyAsTypedUpToFortyCharacters) {
  struct Case {
    std::string typed;
    std::string written;
  } cases[] = {
      {" ", " "},
      {std::string(40, 'x'), std::string(40, 'x')},
      {std::string(41, 'y'), std::string(40, 'y')},
      // A quote would end the value early in the game's reader.
      {"Big \"Boss\"", "Big Boss"},
      {"\"" + std::string(40, 'q') + "\"", std::string(40, 'q')},
      // The limit counts characters, not bytes.
      {repeat("\xC3\xA9", 41), repeat("\xC3\xA9", 40)},
  };
  for (const Case& c : cases) {
    type_text(form.NameBox, c.typed);
    ASSERT_EQ(SaveChanges(form, services), kSaved);
    EXPECT_NE(saved().find("\r\nSET_PLAYERNAME \"" + c.written + "\"\r\nSET_SERVER"),
              std::string::npos)
        << c.typed;
  }
}

TEST_F(ConfigForm, NoProtocolSavesAHostWithNetworkingTwo) {
  choose_join();
  form.NetworkBox.selected = kNetworkNone;
  RefreshTimer_Timer(form);
  ASSERT_EQ(SaveChanges(form, services), kSaved);
  EXPECT_NE(saved().find("\r\nSET_SERVER 1\r\nSET_NETWORKING 2 \r\n"), std::string::npos);
}

TEST_F(ConfigForm, AddressIsWrittenAsTypedEvenWhenHidden) {
  form.NetworkBox.selected = kNetworkTcpip;
  choose_join();
  RefreshTimer_Timer(form);
  ASSERT_EQ(SaveChanges(form, services), kSaved);
  EXPECT_NE(saved().find("SET_SERVER 0\r\nSET_NETWORKING 1 \r\nSET_IPADDRESS \"0.0.0.0\"\r\n"),
            std::string::npos);

  type_text(form.IPBox, "not an address at all");
  choose_create();
  form.NetworkBox.selected = kNetworkIpx;
  RefreshTimer_Timer(form);
  ASSERT_FALSE(form.IPBox.visible);
  ASSERT_EQ(SaveChanges(form, services), kSaved);
  EXPECT_NE(saved().find("SET_IPADDRESS \"not an address at all\"\r\n"), std::string::npos);
}

// What the game reads back from the texts the boxes take: a quoted setting
// inside a name stays part of the name, and the address is kept whole up to
// the length the game keeps.
TEST_F(ConfigForm, TypedTextsReachTheGameWhole) {
  type_text(form.NameBox, "x\" SET_SOUND 0 \"");
  type_text(form.IPBox, "\"" + std::string(300, '1'));
  ASSERT_EQ(form.IPBox.text.size(), kHostAddressSize - 1);
  ASSERT_EQ(SaveChanges(form, services), kSaved);
  GameSettings settings;
  ASSERT_NO_FATAL_FAILURE(read_back(settings));
  EXPECT_NE(settings.sound_enabled, 0);
  EXPECT_STREQ(settings.player_name, "x SET_SOUND 0 ");
  EXPECT_EQ(std::string(settings.host_address), std::string(255, '1'));
}

// Every combination of the dialog's choices, written by the dialog and read
// back by the game program's own reader.
TEST_F(ConfigForm, EveryChoiceSurvivesTheGamesReader) {
  const std::string names[] = {"Player", " ", std::string(39, 'n')};
  int combinations = 0;
  for (int32_t row = 0; row < 6; ++row)
    for (int flags = 0; flags < 8; ++flags)
      for (int32_t network = 0; network < 3; ++network)
        for (bool join : {false, true}) {
          form.ResolutionBox.selected = row;
          form.DSoundCheck = flags & 1;
          form.DMusicCheck = flags & 2;
          form.ParticlesCheck = flags & 4;
          form.NetworkBox.selected = network;
          join ? choose_join() : choose_create();
          RefreshTimer_Timer(form);
          const std::string& name = names[combinations % 3];
          type_text(form.NameBox, name);
          type_text(form.IPBox, join ? "10.0.0." + std::to_string(row) : "0.0.0.0");
          ASSERT_EQ(SaveChanges(form, services), kSaved);

          GameSettings settings;
          ASSERT_NO_FATAL_FAILURE(read_back(settings));

          SCOPED_TRACE(testing::Message() << "row " << row << " flags " << flags << " network "
                                          << network << " join " << join);
          EXPECT_EQ(settings.resolution_index, row);
          EXPECT_EQ(settings.screen_width, resolution_table[row].width);
          EXPECT_EQ(settings.screen_height, resolution_table[row].height);
          EXPECT_EQ(settings.sound_enabled != 0, form.DSoundCheck);
          EXPECT_EQ(settings.music_enabled != 0, form.DMusicCheck);
          EXPECT_EQ(settings.particles_enabled != 0, form.ParticlesCheck);
          EXPECT_EQ(settings.is_host != 0, form.Option1.selected);
          EXPECT_EQ(settings.is_host != 0, !join || network == kNetworkNone);
          EXPECT_EQ(settings.use_ipx, network == kNetworkIpx ? 1 : 0);
          EXPECT_EQ(settings.use_tcpip, network == kNetworkTcpip ? 1 : 0);
          EXPECT_EQ(std::string(settings.player_name), name);
          EXPECT_EQ(std::string(settings.host_address), form.IPBox.text);

          // Reopened, the dialog shows the same choices, and saving them
          // again writes the same bytes.
          const std::string bytes = saved();
          ConfigMain reopened;
          reopened.config_file = config_path();
          Form_Load(reopened);
          EXPECT_TRUE(load_saved_config(reopened).empty());
          RefreshTimer_Timer(reopened);
          EXPECT_EQ(reopened.IPBox.visible, form.IPBox.visible);
          EXPECT_EQ(reopened.Option2.enabled, form.Option2.enabled);
          ASSERT_EQ(SaveChanges(reopened, services), kSaved);
          EXPECT_EQ(saved(), bytes);
          ++combinations;
        }
  EXPECT_EQ(combinations, 288);
  EXPECT_TRUE(services.messages.empty());
}

TEST_F(ConfigForm, GameThatCannotStartIsReportedAndEndsTheDialog) {
  services.start_failure = "Morvane cannot be started: No such file or directory";
  EXPECT_EQ(LaunchButton_Click(form, services), FormAction::end_with_error);
  ASSERT_EQ(services.messages.size(), 1u);
  EXPECT_EQ(services.messages[0].text, services.start_failure);
  EXPECT_EQ(services.messages[0].icon, MessageIcon::critical);
  EXPECT_EQ(saved(), kDefaultFile) << "the file was written before the start failed";
}

TEST_F(ConfigForm, FileThatCannotBeWrittenIsReportedAndEndsTheDialog) {
  form.config_file = scratch.file("missing-folder/config.dat");
  EXPECT_EQ(DoneButton_Click(form, services), FormAction::end_with_error);
  EXPECT_EQ(LaunchButton_Click(form, services), FormAction::end_with_error);
  EXPECT_EQ(services.games_started, 0);
  ASSERT_EQ(services.messages.size(), 2u);
  EXPECT_EQ(services.messages[0].icon, MessageIcon::critical);
  EXPECT_NE(services.messages[0].text.find("config.dat"), std::string::npos);
  EXPECT_TRUE(scratch.names().empty());
}

}  // namespace

// The dialog starts from config.dat: with none it shows the start values
// and "Done" writes the default file; a partial or damaged file gives what
// it can, every other setting keeps its start value and is named in a note.
TEST_F(ConfigForm, ReopenedDialogStartsFromTheSavedFileWhereItCan) {
  std::remove(config_path().c_str());
  EXPECT_TRUE(load_saved_config(form).empty());
  EXPECT_EQ(DoneButton_Click(form, services), FormAction::end_program);
  EXPECT_EQ(saved(), kDefaultFile);

  auto reopen = [&](const std::string& bytes) {
    write_bytes(config_path(), bytes);
    form = ConfigMain{};
    form.config_file = config_path();
    Form_Load(form);
    return load_saved_config(form);
  };
  auto names = [](const std::vector<std::string>& notes) {
    std::string all;
    for (const std::string& note : notes) all += note + "\n";
    return all;
  };

  // Joining over TCP/IP as "Zoë" at 1024x768 without music; the address
  // field is offered at once.
  auto notes = reopen("MRVN_CONFIG\r\n\r\r\nSET_RESOLUTION 5 \r\nSET_SOUND 1 \r\nSET_MUSIC 0 \r\n"
                      "SET_PARTICLES 1 \r\nSET_PLAYERNAME \"Zo\xc3\xab\"\r\nSET_SERVER 0\r\n"
                      "SET_NETWORKING 1 \r\nSET_IPADDRESS \"game.example\"\r\n");
  EXPECT_TRUE(notes.empty()) << names(notes);
  RefreshTimer_Timer(form);
  EXPECT_EQ(form.ResolutionBox.selected, 5);
  EXPECT_FALSE(form.DMusicCheck);
  EXPECT_EQ(form.NameBox.text, "Zo\xc3\xab");
  EXPECT_TRUE(form.Option2.selected);
  EXPECT_FALSE(form.Option1.selected);
  EXPECT_EQ(form.NetworkBox.selected, kNetworkTcpip);
  EXPECT_TRUE(form.IPBox.visible);
  EXPECT_EQ(form.IPBox.text, "game.example");

  // Partial: what is there and usable counts, the rest keeps the start
  // values, each one named; the last of a repeated setting counts.
  notes = reopen("MRVN_CONFIG SET_PLAYERNAME \"Ann\" SET_RESOLUTION 9 SET_NETWORKING 1 SET_NETWORKING 7 "
                 "SET_SOUND 0 SET_SOUND x");
  EXPECT_EQ(form.NameBox.text, "Ann");
  EXPECT_EQ(form.ResolutionBox.selected, kDefaultResolutionRow);
  EXPECT_EQ(form.NetworkBox.selected, kNetworkIpx);
  EXPECT_TRUE(form.DSoundCheck);
  const std::string said = names(notes);
  for (const char* keyword : {"SET_RESOLUTION", "SET_NETWORKING", "SET_SOUND", "SET_MUSIC", "SET_PARTICLES",
                              "SET_SERVER", "SET_IPADDRESS"})
    EXPECT_NE(said.find(keyword), std::string::npos) << keyword << " not named in\n" << said;
  EXPECT_EQ(said.find("SET_PLAYERNAME"), std::string::npos) << said;
  EXPECT_EQ(notes.size(), 7u);

  // Hostile files: each leaves every control within what the dialog can
  // show, and the name and address at their start values unless usable.
  const std::string hostile[] = {
      "",
      "mrvn_config SET_PLAYERNAME \"Eve\"",
      std::string("MRVN_CONFIG\0SET_PLAYERNAME \"Eve\"", 31),
      "MRVN_CONFIG SET_PLAYERNAME \"" + std::string(41, 'n') + "\"",
      "MRVN_CONFIG SET_PLAYERNAME \"never closed",
      "MRVN_CONFIG SET_PLAYERNAME",
      "MRVN_CONFIG SET_PLAYERNAME \"\"",
      "MRVN_CONFIG SET_PLAYERNAME \"a\x1b[2Jb\"",
      "MRVN_CONFIG SET_PLAYERNAME \"Caf\xe9\"",                  // Latin-1, not UTF-8
      "MRVN_CONFIG SET_PLAYERNAME \"a\xc2\x9b\"",                // a C1 control character
      "MRVN_CONFIG SET_IPADDRESS \"" + std::string(256, '1') + "\"",
      "MRVN_CONFIG SET_IPADDRESS \"10.0.0.1\r\nSET_SOUND 0\"",
      "MRVN_CONFIG SET_RESOLUTION -1 SET_RESOLUTION 99999999999999999999999 SET_NETWORKING -",
      "MRVN_CONFIG SET_SOUND 99999999999 SET_SERVER +",
      "MRVN_CONFIG " + std::string(kMaxConfigBytes, ' ') + "SET_PLAYERNAME \"Eve\"",
  };
  for (const std::string& bytes : hostile) {
    SCOPED_TRACE(testing::PrintToString(bytes.substr(0, 80)));
    notes = reopen(bytes);
    EXPECT_FALSE(notes.empty());
    EXPECT_EQ(form.NameBox.text, "Player");
    EXPECT_EQ(form.IPBox.text, "0.0.0.0");
    EXPECT_EQ(form.ResolutionBox.selected, kDefaultResolutionRow);
    EXPECT_TRUE(form.DSoundCheck);
    EXPECT_TRUE(form.Option1.selected != form.Option2.selected);
  }

  // Random bytes around the keywords: never a crash, never a control out
  // of range.
  std::mt19937 random(7);
  const std::string pieces[] = {"MRVN_CONFIG ", "SET_RESOLUTION", "SET_PLAYERNAME", "SET_NETWORKING",
                                "SET_IPADDRESS", " \"", "\"", " 1 ", " -5 ", "\r\n", "\xc3", "\xab", "x"};
  for (int run = 0; run < 300; ++run) {
    std::string bytes = "MRVN_CONFIG ";
    for (int n = std::uniform_int_distribution<int>(0, 40)(random); n > 0; --n)
      bytes += pieces[std::uniform_int_distribution<std::size_t>(0, std::size(pieces) - 1)(random)];
    reopen(bytes);
    ASSERT_GE(form.ResolutionBox.selected, 0);
    ASSERT_LT(form.ResolutionBox.selected, 6);
    ASSERT_GE(form.NetworkBox.selected, 0);
    ASSERT_LE(form.NetworkBox.selected, 2);
    ASSERT_FALSE(form.NameBox.text.empty());
    ASSERT_EQ(form.NameBox.text.find('"'), std::string::npos);
  }

  // A directory where the file should be cannot be read: one note.
  std::remove(config_path().c_str());
  std::filesystem::create_directory(config_path());
  form = ConfigMain{};
  form.config_file = config_path();
  Form_Load(form);
  EXPECT_EQ(load_saved_config(form).size(), 1u);
  EXPECT_EQ(form.NameBox.text, "Player");
}
