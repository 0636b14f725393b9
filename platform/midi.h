// Music output: a performance that plays standard MIDI files on one output
// port at a time. The ports are software synthesizers (one per General MIDI
// SoundFont installed) rendered into the sound device, and the ALSA
// sequencer's output ports when the machine has a sequencer. Everything here
// is called from the game's thread; the synthesizers render on the sound
// device's thread, which touches only this layer's own objects.
#pragma once

#include <cstdint>

namespace platform {

struct SoundDevice;
struct MidiPerformance;  // opaque; owned by this layer
struct MidiOutputPort;   // owned by the performance that created it
struct MidiSegment;      // one loaded MIDI file

inline constexpr int32_t kMidiPortClassInput = 0;
inline constexpr int32_t kMidiPortClassOutput = 1;
inline constexpr int32_t kMidiPortSynth = 0;      // software synthesizer
inline constexpr int32_t kMidiPortSequencer = 1;  // ALSA sequencer port

struct MidiPortCaps {
  int32_t port_class = kMidiPortClassOutput;
  int32_t max_channel_groups = 1;  // groups of 16 channels
  int32_t kind = kMidiPortSynth;
  int32_t number = 0;             // the sequencer's port number
  char identifier[256] = {};      // SoundFont path, or the sequencer port's name
  char description[128] = {};     // shown to the player
};

// Result codes. Failures carry the classic COM codes so that the game can
// name them in its messages.
inline constexpr int32_t kMidiOk = 0;
inline constexpr int32_t kMidiNoMorePorts = 1;
inline constexpr int32_t kMidiInvalidArg = static_cast<int32_t>(0x80070057u);
inline constexpr int32_t kMidiSoundNotSet = static_cast<int32_t>(0x88781139u);
inline constexpr int32_t kMidiNoInterface = static_cast<int32_t>(0x80004002u);
inline constexpr int32_t kMidiOutOfMemory = static_cast<int32_t>(0x8007000Eu);
inline constexpr int32_t kMidiPointer = static_cast<int32_t>(0x80004003u);
inline constexpr int32_t kMidiFailed = static_cast<int32_t>(0x80004005u);

MidiPerformance* create_midi_performance();
// Ties the performance to the sound device it renders on; false without one.
bool init_midi_performance(MidiPerformance* performance, SoundDevice* device);
// Port `index` of the machine's ports (found on the call for index 0):
// kMidiOk, or kMidiNoMorePorts past the last one.
int32_t enum_midi_port(MidiPerformance* performance, int32_t index, MidiPortCaps& caps);
// Creates a port; kMidiOk, or a failure code with `port` left null.
int32_t create_midi_port(MidiPerformance* performance, const MidiPortCaps& caps,
                         int32_t channel_groups, MidiOutputPort*& port);
int32_t activate_midi_port(MidiOutputPort* port);
// Makes the port the one the performance plays on, with the performance's
// channels 0 to 15 on the port's first channel group.
int32_t add_midi_port(MidiPerformance* performance, MidiOutputPort* port);

// A standard MIDI file's bytes, copied. Null when out of memory.
MidiSegment* create_midi_segment(const uint8_t* bytes, uint32_t size);
void release_midi_segment(MidiSegment* segment);
// Starts the segment from its beginning, once, stopping whatever played.
int32_t play_midi_segment(MidiPerformance* performance, MidiSegment* segment);
// Stops the segment if it is the one playing, and silences the port.
void stop_midi_segment(MidiPerformance* performance, MidiSegment* segment);
// Stops everything, frees the ports and the performance.
void close_midi_performance(MidiPerformance* performance);

}  // namespace platform
