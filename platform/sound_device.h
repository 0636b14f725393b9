// The sound device: one output at 8-bit mono, 22,050 samples per second, on
// which any number of static sound buffers mix. Each buffer has its own
// voice, so playing a buffer that is still sounding restarts it from its
// first sample, while different buffers sound together. Used from the
// game's thread only; mixing happens on the device's own thread.
#pragma once

#include <cstdint>

namespace platform {

struct SoundDevice;  // opaque; owned by this layer
struct SoundBuffer;

inline constexpr int32_t kSoundBufferRate = 22050;
inline constexpr int32_t kMaxSoundBuffers = 256;

// Opens the default output device. Null when there is none (no sound card,
// or an audio driver that cannot start): the game then runs silent.
SoundDevice* open_sound_device();
// Stops all output and closes the device. Buffers must be released first.
void close_sound_device(SoundDevice* device);

// A static buffer holding `bytes` bytes of 8-bit mono samples at 22,050 Hz,
// played on voice `voice` (0 to 255). Null on failure (no device, zero size,
// a voice out of range, no memory).
SoundBuffer* create_sound_buffer(SoundDevice* device, const uint8_t* samples, uint32_t bytes,
                                 int32_t voice);
// Plays the buffer once from its first sample, cutting off the same buffer if
// it is still sounding. False when the device refuses.
bool play_sound_buffer(SoundBuffer* buffer);
// Frees the buffer; a buffer still sounding falls silent.
void release_sound_buffer(SoundBuffer* buffer);

// The device's actual output format, for whatever else renders into it.
struct SoundOutputFormat {
  int32_t sample_rate = 0;
  int32_t channels = 0;
  int32_t bits = 0;  // 8: unsigned bytes with silence at 128; 16: signed
};
bool sound_output_format(const SoundDevice* device, SoundOutputFormat& format);

// One extra source mixed under the buffers: the callback fills `frames`
// frames of interleaved stereo floats in -1..1. It runs on the device's
// thread, so it must touch nothing but its own `context`. A null callback
// removes the source; when this returns, the old callback is not running
// and will not run again.
using SoundStreamCallback = void (*)(void* context, float* stereo, int32_t frames);
void set_sound_stream(SoundDevice* device, SoundStreamCallback callback, void* context);

}  // namespace platform
