#include "configurator/config_form.h"

#include "configurator/config_writer.h"
#include "core/settings.h"

#include <utility>

const char* const random_names[10] = {
    "The Banana", "Vegetable Man", "Black Death",  "Big Momma",    "Lord Mechazoid",
    "Brian Damage", "Spanner",     "The Lawyer",   "Jammy Dodger", "Monkey Boy",
};

namespace {

constexpr const char* kNetworkRows[] = {
    "IPX Connection over LAN",
    "TCP/IP Connection over Internet",
    "No networking protocol",
};

// A number drawn uniformly from [0, 1).
double draw_unit(std::mt19937& generator) {
  // 32 random bits over 2^32: never 1.
  constexpr double kSpan = 4294967296.0;
  return static_cast<double>(generator()) / kSpan;
}

// Number of bytes that hold the first max_chars UTF-8 characters of text.
std::size_t prefix_bytes(std::string_view text, std::size_t max_chars) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool starts_character = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    if (starts_character && chars++ == max_chars) return i;
  }
  return text.size();
}

ConfigValues values_of(const ConfigMain& form) {
  ConfigValues values;
  values.resolution_row = form.ResolutionBox.selected;
  values.sound = form.DSoundCheck;
  values.music = form.DMusicCheck;
  values.particles = form.ParticlesCheck;
  values.player_name = form.NameBox.text;
  values.create_game = form.Option1.selected;
  values.network_row = form.NetworkBox.selected;
  values.ip_address = form.IPBox.text;
  return values;
}

}  // namespace

void type_text(TextControl& box, std::string_view text) {
  std::string typed;
  for (char c : text)
    if (c != kRefusedCharacter) typed += c;
  if (box.max_length != 0) typed.resize(prefix_bytes(typed, box.max_length));
  box.text = std::move(typed);
}

void Form_Load(ConfigMain& form) {
  form.ResolutionBox.rows.clear();
  for (const Resolution& row : resolution_table) form.ResolutionBox.rows.emplace_back(row.label);
  form.ResolutionBox.selected = kDefaultResolutionRow;

  form.NetworkBox.rows.assign(std::begin(kNetworkRows), std::end(kNetworkRows));
  form.NetworkBox.selected = kNetworkIpx;

  form.Option1.selected = true;
  form.Option2.selected = false;

  form.IPBox.visible = false;
  form.IPText_visible = false;

  form.DSoundCheck = true;
  form.DMusicCheck = true;
  form.ParticlesCheck = true;
}

void RefreshTimer_Timer(ConfigMain& form) {
  // The address is only offered when joining over TCP/IP.
  bool offer_address = form.NetworkBox.selected == kNetworkTcpip && form.Option2.selected;
  form.IPBox.visible = offer_address;
  form.IPText_visible = offer_address;

  // Without a protocol the player can only create a game.
  if (form.NetworkBox.selected == kNetworkNone) {
    form.Option1.selected = true;
    form.Option2.selected = false;
    form.Option2.enabled = false;
  } else {
    form.Option2.enabled = true;
  }
}

void RandomButton_Click(ConfigMain& form) {
  auto position = static_cast<std::size_t>(10.0 * draw_unit(form.name_generator));
  form.NameBox.text = random_names[position];
}

void AboutButton_Click(ConfigMain&, DialogServices& services) {
  services.message_box("MRVN Configuration Chooser, made by the Morvane team.",
                       "About MRVN Configuraton Chooser", MessageIcon::information);
}

int SaveChanges(ConfigMain& form, DialogServices& services) {
  if (form.ResolutionBox.selected < 0) {
    services.message_box("Please choose a resolution", "Warning!", MessageIcon::exclamation);
    return kCheckFailed;
  }
  if (form.NameBox.text.empty()) {
    services.message_box("Please enter a valid name!", "Warning", MessageIcon::exclamation);
    return kCheckFailed;
  }
  std::string failure = replace_file(form.config_file, format_config(values_of(form)));
  if (!failure.empty()) {
    services.message_box(failure, kErrorTitle, MessageIcon::critical);
    return kWriteFailed;
  }
  return kSaved;
}

FormAction DoneButton_Click(ConfigMain& form, DialogServices& services) {
  switch (SaveChanges(form, services)) {
    case kSaved: return FormAction::end_program;
    case kCheckFailed: return FormAction::stay_open;
    default: return FormAction::end_with_error;
  }
}

FormAction LaunchButton_Click(ConfigMain& form, DialogServices& services) {
  int saved = SaveChanges(form, services);
  if (saved == kCheckFailed) return FormAction::stay_open;
  if (saved != kSaved) return FormAction::end_with_error;
  std::string failure = services.start_game();
  if (!failure.empty()) {
    services.message_box(failure, kErrorTitle, MessageIcon::critical);
    return FormAction::end_with_error;
  }
  return FormAction::stay_open;
}
