#include "configurator/config_loader.h"

#include <array>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>

#include "core/settings.h"

namespace {

// The game's reader takes white space as the C locale's.
bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The game's reading of config.dat over bytes: words, formatted integers
// and quoted texts, each read never past the end.
class ConfigTokens {
 public:
  explicit ConfigTokens(std::string_view bytes) : bytes_(bytes) {}

  // The next whitespace-separated word; empty at the end.
  std::string_view word() {
    skip_space();
    const std::size_t start = at_;
    while (at_ < bytes_.size() && !is_space(bytes_[at_])) ++at_;
    return bytes_.substr(start, at_ - start);
  }

  // An optional sign and digits after white space; nothing but the white
  // space is taken when no digit follows. Values beyond int32 are refused.
  std::optional<int64_t> integer() {
    skip_space();
    std::size_t at = at_;
    bool negative = false;
    if (at < bytes_.size() && (bytes_[at] == '+' || bytes_[at] == '-')) negative = bytes_[at++] == '-';
    if (at >= bytes_.size() || !is_digit(bytes_[at])) {
      at_ = at;  // a lone sign is lost, as in the game
      return std::nullopt;
    }
    int64_t magnitude = 0;
    for (; at < bytes_.size() && is_digit(bytes_[at]); ++at)
      if (magnitude <= INT64_C(1) << 40) magnitude = magnitude * 10 + (bytes_[at] - '0');
    at_ = at;
    return negative ? -magnitude : magnitude;
  }

  // The two characters after the keyword passed over unseen, then the text
  // up to the next double quote; nothing when the stream ends first.
  std::optional<std::string_view> quoted() {
    if (bytes_.size() - at_ < 2) {
      at_ = bytes_.size();
      return std::nullopt;
    }
    at_ += 2;
    const std::size_t end = bytes_.find('"', at_);
    if (end == std::string_view::npos) {
      at_ = bytes_.size();
      return std::nullopt;
    }
    const std::string_view text = bytes_.substr(at_, end - at_);
    at_ = end + 1;
    return text;
  }

 private:
  void skip_space() {
    while (at_ < bytes_.size() && is_space(bytes_[at_])) ++at_;
  }
  std::string_view bytes_;
  std::size_t at_ = 0;
};

// Well-formed UTF-8 without control characters: what a text box can show
// and the game can draw.
bool showable_text(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 32 || c == 127) return false;
    std::size_t length = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3
                                                                      : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    uint32_t value = length == 1 ? c : c & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      value = (value << 6) | (next & 0x3F);
    }
    static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kLeast[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF) ||
        (value >= 0x80 && value <= 0x9F))
      return false;
    i += length;
  }
  return true;
}

std::size_t characters(std::string_view text) {
  std::size_t count = 0;
  for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

enum Setting : std::size_t { kResolution, kSound, kMusic, kParticles, kName, kServer, kNetworking, kAddress, kSettings };

constexpr std::array<const char*, kSettings> kKeywords = {
    "SET_RESOLUTION", "SET_SOUND", "SET_MUSIC", "SET_PARTICLES",
    "SET_PLAYERNAME", "SET_SERVER", "SET_NETWORKING", "SET_IPADDRESS",
};

// What the file said of each setting, the last occurrence counting.
struct Reading {
  std::array<bool, kSettings> seen{};
  std::array<bool, kSettings> usable{};
  std::array<int64_t, kSettings> number{};
  std::array<std::string_view, kSettings> text{};
};

bool usable_number(Setting setting, int64_t value) {
  switch (setting) {
    case kResolution: return value >= 0 && value < static_cast<int64_t>(resolution_table.size());
    case kNetworking: return value >= kNetworkIpx && value <= kNetworkNone;
    default: return value >= INT32_MIN && value <= INT32_MAX;  // a switch: zero or not
  }
}

bool usable_text(Setting setting, std::string_view text) {
  if (!showable_text(text)) return false;
  if (setting == kName) return !text.empty() && characters(text) <= kNameBoxMaxLength;
  return text.size() <= kIPBoxMaxLength;
}

void read_setting(ConfigTokens& tokens, Setting setting, Reading& reading) {
  reading.seen[setting] = true;
  reading.usable[setting] = false;
  if (setting == kName || setting == kAddress) {
    const auto text = tokens.quoted();
    if (!text || !usable_text(setting, *text)) return;
    reading.text[setting] = *text;
  } else {
    const auto number = tokens.integer();
    if (!number || !usable_number(setting, *number)) return;
    reading.number[setting] = *number;
  }
  reading.usable[setting] = true;
}

void apply(ConfigMain& form, const Reading& reading) {
  const auto& n = reading.number;
  if (reading.usable[kResolution]) form.ResolutionBox.selected = static_cast<int32_t>(n[kResolution]);
  if (reading.usable[kSound]) form.DSoundCheck = n[kSound] != 0;
  if (reading.usable[kMusic]) form.DMusicCheck = n[kMusic] != 0;
  if (reading.usable[kParticles]) form.ParticlesCheck = n[kParticles] != 0;
  if (reading.usable[kName]) form.NameBox.text = std::string(reading.text[kName]);
  if (reading.usable[kServer]) {
    form.Option1.selected = n[kServer] != 0;
    form.Option2.selected = n[kServer] == 0;
  }
  if (reading.usable[kNetworking]) form.NetworkBox.selected = static_cast<int32_t>(n[kNetworking]);
  if (reading.usable[kAddress]) form.IPBox.text = std::string(reading.text[kAddress]);
}

}  // namespace

std::vector<std::string> load_config_bytes(ConfigMain& form, std::string_view bytes) {
  ConfigTokens tokens(bytes);
  if (tokens.word() != "MRVN_CONFIG")
    return {"config.dat does not begin with MRVN_CONFIG: every setting starts from its start value"};
  Reading reading;
  for (std::string_view word = tokens.word(); !word.empty(); word = tokens.word())
    for (std::size_t s = 0; s < kSettings; ++s)
      if (word == kKeywords[s]) read_setting(tokens, static_cast<Setting>(s), reading);
  apply(form, reading);

  std::vector<std::string> notes;
  for (std::size_t s = 0; s < kSettings; ++s) {
    if (!reading.seen[s])
      notes.push_back(std::string("config.dat has no ") + kKeywords[s] + ": it starts from its start value");
    else if (!reading.usable[s])
      notes.push_back(std::string("config.dat's ") + kKeywords[s] +
                      " cannot be used: it starts from its start value");
  }
  return notes;
}

std::vector<std::string> load_saved_config(ConfigMain& form) {
  std::error_code error;
  if (!std::filesystem::exists(form.config_file, error) && !error) return {};
  std::ifstream file(form.config_file, std::ios::binary);
  if (!file || std::filesystem::is_directory(form.config_file, error))
    return {"config.dat cannot be read: every setting starts from its start value"};
  std::string bytes(kMaxConfigBytes + 1, '\0');
  file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (file.bad()) return {"config.dat cannot be read: every setting starts from its start value"};
  bytes.resize(static_cast<std::size_t>(file.gcount()));
  if (bytes.size() > kMaxConfigBytes)
    return {"config.dat is too large to be a configuration: every setting starts from its start value"};
  return load_config_bytes(form, bytes);
}
