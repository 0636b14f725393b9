#include "platform/midi.h"

#include <RtMidi.h>
#include <unistd.h>
#include <dirent.h>
#include <fluidsynth.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sound_device.h"

namespace platform {

namespace {
// The General MIDI SoundFont the distribution installs, offered first, then
// every other SoundFont in the usual places.
constexpr const char* kDefaultSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";
constexpr const char* kSoundFontDirectories[] = {"/usr/share/sounds/sf2", "/usr/share/soundfonts"};
// TimGM6mb is quiet at FluidSynth's default gain of 0.2.
constexpr double kSynthGain = 0.8;
constexpr int kSynthPolyphony = 128;
}  // namespace

struct MidiOutputPort {
  MidiPortCaps caps{};
  fluid_settings_t* settings = nullptr;
  // Sounds the music on a synthesizer port; on a sequencer port it renders
  // silence and only keeps the file player's time.
  fluid_synth_t* synth = nullptr;
  std::unique_ptr<RtMidiOut> sequencer;
  bool active = false;
};

struct MidiSegment {
  std::vector<uint8_t> bytes;
};

struct MidiPerformance {
  std::mutex lock;  // between the game's thread and the sound device's thread
  SoundDevice* device = nullptr;
  int32_t sample_rate = 0;
  std::vector<MidiPortCaps> found;
  std::vector<std::unique_ptr<MidiOutputPort>> ports;
  MidiOutputPort* output = nullptr;  // the port added to the performance
  fluid_player_t* player = nullptr;
  const MidiSegment* playing = nullptr;
};

namespace {

void quiet_log(int, const char*, void*) {}

void silence_fluidsynth_chatter() {
  fluid_set_log_function(FLUID_WARN, quiet_log, nullptr);
  fluid_set_log_function(FLUID_INFO, quiet_log, nullptr);
  fluid_set_log_function(FLUID_DBG, quiet_log, nullptr);
}

bool ends_with(const std::string& text, const char* suffix) {
  const std::size_t n = std::strlen(suffix);
  return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

std::string stem_of(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

void add_sound_font(std::vector<MidiPortCaps>& found, std::vector<std::string>& seen, const char* path) {
  char resolved[PATH_MAX];
  if (!realpath(path, resolved)) return;
  const std::string real(resolved);
  if (std::find(seen.begin(), seen.end(), real) != seen.end()) return;
  if (real.size() >= sizeof MidiPortCaps{}.identifier) return;
  seen.push_back(real);
  MidiPortCaps caps;
  caps.kind = kMidiPortSynth;
  std::snprintf(caps.identifier, sizeof caps.identifier, "%s", real.c_str());
  std::snprintf(caps.description, sizeof caps.description, "Software Synthesizer (%s)",
                stem_of(real).c_str());
  found.push_back(caps);
}

void find_sound_fonts(std::vector<MidiPortCaps>& found) {
  std::vector<std::string> seen;
  add_sound_font(found, seen, kDefaultSoundFont);
  for (const char* directory : kSoundFontDirectories) {
    DIR* dir = opendir(directory);
    if (!dir) continue;
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
      const std::string name(entry->d_name);
      if (ends_with(name, ".sf2") || ends_with(name, ".SF2")) names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) add_sound_font(found, seen, (std::string(directory) + "/" + name).c_str());
  }
}

// The ALSA sequencer's output ports. Without a sequencer (no /dev/snd) the
// probe throws: that only means there are no such ports.
void find_sequencer_ports(std::vector<MidiPortCaps>& found) {
  // Without the sequencer device the probe could only fail, noisily.
  if (access("/dev/snd/seq", R_OK | W_OK) != 0) return;
  try {
    RtMidiOut probe(RtMidi::LINUX_ALSA, "Morvane");
    const unsigned int count = probe.getPortCount();
    for (unsigned int i = 0; i < count; ++i) {
      const std::string name = probe.getPortName(i);
      MidiPortCaps caps;
      caps.kind = kMidiPortSequencer;
      caps.number = static_cast<int32_t>(i);
      std::snprintf(caps.identifier, sizeof caps.identifier, "%s", name.c_str());
      std::snprintf(caps.description, sizeof caps.description, "%s", name.c_str());
      found.push_back(caps);
    }
  } catch (...) {
  }
}

fluid_synth_t* new_synth(fluid_settings_t* settings, int32_t sample_rate, int32_t channel_groups) {
  fluid_settings_setnum(settings, "synth.sample-rate", sample_rate);
  fluid_settings_setnum(settings, "synth.gain", kSynthGain);
  fluid_settings_setint(settings, "synth.polyphony", kSynthPolyphony);
  fluid_settings_setint(settings, "synth.midi-channels", 16 * std::clamp(channel_groups, 1, 16));
  // The performance's own lock serialises every use of the synthesizer.
  fluid_settings_setint(settings, "synth.threadsafe-api", 0);
  return new_fluid_synth(settings);
}

void delete_port(MidiOutputPort& port) {
  if (port.synth) delete_fluid_synth(port.synth);
  if (port.settings) delete_fluid_settings(port.settings);
  port.synth = nullptr;
  port.settings = nullptr;
  if (port.sequencer) {
    try {
      port.sequencer->closePort();
    } catch (...) {
    }
    port.sequencer.reset();
  }
}

// Hands the file player's events to a sequencer port instead of the synth.
int forward_to_sequencer(void* data, fluid_midi_event_t* event) {
  RtMidiOut* out = static_cast<RtMidiOut*>(data);
  const int type = fluid_midi_event_get_type(event);
  const int channel = fluid_midi_event_get_channel(event) & 0x0F;
  std::vector<unsigned char> message;
  switch (type) {
    case 0x80: case 0x90: case 0xA0:
      message = {static_cast<unsigned char>(type | channel),
                 static_cast<unsigned char>(fluid_midi_event_get_key(event) & 0x7F),
                 static_cast<unsigned char>(fluid_midi_event_get_velocity(event) & 0x7F)};
      break;
    case 0xB0:
      message = {static_cast<unsigned char>(type | channel),
                 static_cast<unsigned char>(fluid_midi_event_get_control(event) & 0x7F),
                 static_cast<unsigned char>(fluid_midi_event_get_value(event) & 0x7F)};
      break;
    case 0xC0: case 0xD0:
      message = {static_cast<unsigned char>(type | channel),
                 static_cast<unsigned char>(fluid_midi_event_get_program(event) & 0x7F)};
      break;
    case 0xE0: {
      const int bend = fluid_midi_event_get_pitch(event);
      message = {static_cast<unsigned char>(type | channel), static_cast<unsigned char>(bend & 0x7F),
                 static_cast<unsigned char>((bend >> 7) & 0x7F)};
      break;
    }
    default:
      return FLUID_OK;
  }
  try {
    out->sendMessage(&message);
  } catch (...) {
  }
  return FLUID_OK;
}

void silence_port(MidiOutputPort& port) {
  if (port.synth) fluid_synth_system_reset(port.synth);
  if (!port.sequencer) return;
  for (unsigned char channel = 0; channel < 16; ++channel) {
    std::vector<unsigned char> all_notes_off{static_cast<unsigned char>(0xB0 | channel), 123, 0};
    try {
      port.sequencer->sendMessage(&all_notes_off);
    } catch (...) {
    }
  }
}

void stop_player(MidiPerformance& performance) {
  if (performance.player) {
    fluid_player_stop(performance.player);
    delete_fluid_player(performance.player);
    performance.player = nullptr;
  }
  performance.playing = nullptr;
  if (performance.output) silence_port(*performance.output);
}

// Runs on the sound device's thread.
void render(void* context, float* stereo, int32_t frames) {
  auto& performance = *static_cast<MidiPerformance*>(context);
  std::lock_guard<std::mutex> hold(performance.lock);
  MidiOutputPort* port = performance.output;
  if (!port || !port->synth || !port->active ||
      fluid_synth_write_float(port->synth, frames, stereo, 0, 2, stereo, 1, 2) != FLUID_OK) {
    std::fill(stereo, stereo + 2 * frames, 0.0f);
    return;
  }
  if (port->sequencer) std::fill(stereo, stereo + 2 * frames, 0.0f);
}

}  // namespace

MidiPerformance* create_midi_performance() {
  silence_fluidsynth_chatter();
  return new MidiPerformance;
}

bool init_midi_performance(MidiPerformance* performance, SoundDevice* device) {
  SoundOutputFormat format;
  if (!performance || !sound_output_format(device, format)) return false;
  performance->device = device;
  performance->sample_rate = format.sample_rate;
  return true;
}

int32_t enum_midi_port(MidiPerformance* performance, int32_t index, MidiPortCaps& caps) {
  if (!performance || index < 0) return kMidiInvalidArg;
  if (index == 0) {
    performance->found.clear();
    find_sound_fonts(performance->found);
    find_sequencer_ports(performance->found);
  }
  if (static_cast<std::size_t>(index) >= performance->found.size()) return kMidiNoMorePorts;
  caps = performance->found[static_cast<std::size_t>(index)];
  return kMidiOk;
}

int32_t create_midi_port(MidiPerformance* performance, const MidiPortCaps& caps,
                         int32_t channel_groups, MidiOutputPort*& port) {
  port = nullptr;
  if (!performance) return kMidiPointer;
  if (!performance->device) return kMidiSoundNotSet;
  if (caps.port_class != kMidiPortClassOutput) return kMidiInvalidArg;
  auto created = std::make_unique<MidiOutputPort>();
  created->caps = caps;
  created->settings = new_fluid_settings();
  if (!created->settings) return kMidiOutOfMemory;
  created->synth = new_synth(created->settings, performance->sample_rate, channel_groups);
  if (!created->synth) {
    delete_port(*created);
    return kMidiOutOfMemory;
  }
  if (caps.kind == kMidiPortSynth) {
    if (fluid_synth_sfload(created->synth, caps.identifier, 1) == FLUID_FAILED) {
      delete_port(*created);
      return kMidiInvalidArg;
    }
  } else {
    try {
      created->sequencer = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, "Morvane");
      created->sequencer->openPort(static_cast<unsigned int>(caps.number), "Morvane music");
    } catch (...) {
      delete_port(*created);
      return kMidiFailed;
    }
  }
  port = created.get();
  performance->ports.push_back(std::move(created));
  return kMidiOk;
}

int32_t activate_midi_port(MidiOutputPort* port) {
  if (!port) return kMidiPointer;
  port->active = true;
  return kMidiOk;
}

int32_t add_midi_port(MidiPerformance* performance, MidiOutputPort* port) {
  if (!performance || !port) return kMidiPointer;
  {
    std::lock_guard<std::mutex> hold(performance->lock);
    stop_player(*performance);
    performance->output = port;
  }
  set_sound_stream(performance->device, render, performance);
  return kMidiOk;
}

MidiSegment* create_midi_segment(const uint8_t* bytes, uint32_t size) {
  if (!bytes || size == 0) return nullptr;
  return new MidiSegment{std::vector<uint8_t>(bytes, bytes + size)};
}

void release_midi_segment(MidiSegment* segment) { delete segment; }

int32_t play_midi_segment(MidiPerformance* performance, MidiSegment* segment) {
  if (!performance || !segment) return kMidiPointer;
  std::lock_guard<std::mutex> hold(performance->lock);
  stop_player(*performance);
  MidiOutputPort* port = performance->output;
  if (!port || !port->synth) return kMidiFailed;
  fluid_player_t* player = new_fluid_player(port->synth);
  if (!player) return kMidiOutOfMemory;
  if (port->sequencer) fluid_player_set_playback_callback(player, forward_to_sequencer, port->sequencer.get());
  if (fluid_player_add_mem(player, segment->bytes.data(), segment->bytes.size()) != FLUID_OK ||
      fluid_player_play(player) != FLUID_OK) {
    delete_fluid_player(player);
    return kMidiFailed;
  }
  performance->player = player;
  performance->playing = segment;
  return kMidiOk;
}

void stop_midi_segment(MidiPerformance* performance, MidiSegment* segment) {
  if (!performance || !segment) return;
  std::lock_guard<std::mutex> hold(performance->lock);
  if (performance->playing == segment) stop_player(*performance);
}

void close_midi_performance(MidiPerformance* performance) {
  if (!performance) return;
  // Once the stream is removed the device's thread no longer renders.
  if (performance->output) set_sound_stream(performance->device, nullptr, nullptr);
  stop_player(*performance);
  performance->output = nullptr;
  for (auto& port : performance->ports) delete_port(*port);
  delete performance;
}

}  // namespace platform
