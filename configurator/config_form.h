// The configurator's dialog ConfigMain as plain data, and its event
// handlers. The toolkit layer only draws these controls and forwards the
// player's input; every rule of the dialog lives here, so that it can be
// driven without a display.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings.h"

// A drop-down list the player cannot type into.
struct ListControl {
  std::vector<std::string> rows;
  int32_t selected = -1;  // -1: no row selected
  bool visible = true;
};

// A one-line text box.
struct TextControl {
  std::string text;
  std::size_t max_length = 0;  // in characters; 0 = no limit
  bool visible = true;
};

struct OptionControl {
  bool selected = false;
  bool enabled = true;
};

// NetworkBox rows; config.dat stores the row number.
inline constexpr int32_t kNetworkIpx = 0;
inline constexpr int32_t kNetworkTcpip = 1;
inline constexpr int32_t kNetworkNone = 2;

inline constexpr std::size_t kNameBoxMaxLength = 40;
// As much of the address as the game keeps.
inline constexpr std::size_t kIPBoxMaxLength = kHostAddressSize - 1;
inline constexpr int kRefreshIntervalMs = 10;

struct ConfigMain {
  ListControl ResolutionBox;
  ListControl NetworkBox;
  bool DSoundCheck = false;
  bool DMusicCheck = false;
  bool ParticlesCheck = false;
  TextControl NameBox{"Player", kNameBoxMaxLength};
  OptionControl Option1;  // "Create Game"
  OptionControl Option2;  // "Join Game"
  bool IPText_visible = true;
  TextControl IPBox{"0.0.0.0", kIPBoxMaxLength};

  // Never seeded from the clock: every run offers the same names.
  std::mt19937 name_generator;  // the standard fixed default seed

  // Where SaveChanges writes; the bare name means the current directory.
  std::string config_file = "config.dat";
};

// The ten names that "Random Name" draws from.
extern const char* const random_names[10];

enum class MessageIcon { information, exclamation, critical };

// What the handlers need from outside the form.
class DialogServices {
 public:
  virtual ~DialogServices() = default;
  // A modal message box with one OK button.
  virtual void message_box(std::string_view text, std::string_view title, MessageIcon icon) = 0;
  // Starts the game program without waiting for it; an empty string on
  // success, otherwise the reason it could not be started.
  virtual std::string start_game() = 0;
};

// What the dialog does after a handler has run.
enum class FormAction { stay_open, end_program, end_with_error };

// SaveChanges results. The first two are the form's own; a file that cannot
// be written has already been reported to the player and ends the program.
inline constexpr int kSaved = 0;
inline constexpr int kCheckFailed = 1;
inline constexpr int kWriteFailed = 2;

inline constexpr const char* kErrorTitle = "Morvane Configuration";

void Form_Load(ConfigMain& form);
void RefreshTimer_Timer(ConfigMain& form);
void RandomButton_Click(ConfigMain& form);
void AboutButton_Click(ConfigMain& form, DialogServices& services);
FormAction DoneButton_Click(ConfigMain& form, DialogServices& services);
FormAction LaunchButton_Click(ConfigMain& form, DialogServices& services);
int SaveChanges(ConfigMain& form, DialogServices& services);

// A character no text box takes: config.dat quotes both texts, and the
// game's reader ends a value at the first double quote, so one typed into a
// box would cut the value short and let the rest be read as settings.
inline constexpr char kRefusedCharacter = '"';

// Puts text into a text box as typing or pasting would: double quotes and
// anything beyond the box's character limit are left out.
void type_text(TextControl& box, std::string_view text);
