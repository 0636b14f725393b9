#include "platform/sound_device.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace platform {

namespace {
// Samples per mixing period: about 23 ms at 22,050 Hz.
constexpr int kMixChunkFrames = 512;
// The stream callback is asked for at most this many frames at a time.
constexpr int kStreamScratchFrames = 1024;
}  // namespace

struct SoundDevice {
  SoundOutputFormat format{};
  SDL_AudioFormat sdl_format = 0;
  SoundStreamCallback stream = nullptr;
  void* stream_context = nullptr;
  std::vector<float> scratch = std::vector<float>(2 * kStreamScratchFrames);
};

struct SoundBuffer {
  Mix_Chunk* chunk = nullptr;
  uint8_t* samples = nullptr;  // the chunk points into this; freed with it
  int voice = 0;
};

namespace {

int16_t to_s16(float value) {
  value = std::clamp(value, -1.0f, 1.0f);
  return static_cast<int16_t>(value * 32767.0f);
}

uint8_t to_u8(float value) {
  value = std::clamp(value, -1.0f, 1.0f);
  return static_cast<uint8_t>(128 + static_cast<int>(value * 127.0f));
}

// Writes stereo frames in the device's format; with one channel the two
// sides are averaged, with more the rest repeat the average.
void store_frames(const SoundDevice& device, const float* stereo, int frames, uint8_t* out) {
  const int channels = device.format.channels;
  for (int f = 0; f < frames; ++f) {
    const float left = stereo[2 * f];
    const float right = stereo[2 * f + 1];
    for (int c = 0; c < channels; ++c) {
      const float value = channels == 1 ? 0.5f * (left + right) : c == 0 ? left : c == 1 ? right : 0.5f * (left + right);
      if (device.format.bits == 8) {
        *out++ = to_u8(value);
      } else {
        const int16_t sample = to_s16(value);
        std::memcpy(out, &sample, sizeof sample);
        out += sizeof sample;
      }
    }
  }
}

// SDL_mixer's music hook: runs on the audio thread with the device locked.
void mix_stream(void* context, Uint8* stream, int length) {
  SoundDevice& device = *static_cast<SoundDevice*>(context);
  const int frame_bytes = device.format.channels * device.format.bits / 8;
  int frames = frame_bytes > 0 ? length / frame_bytes : 0;
  while (frames > 0) {
    const int count = std::min(frames, kStreamScratchFrames);
    device.stream(device.stream_context, device.scratch.data(), count);
    store_frames(device, device.scratch.data(), count, stream);
    stream += count * frame_bytes;
    frames -= count;
  }
}

}  // namespace

SoundDevice* open_sound_device() {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
  if (Mix_OpenAudio(kSoundBufferRate, AUDIO_U8, 1, kMixChunkFrames) != 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return nullptr;
  }
  int rate = 0;
  int channels = 0;
  Uint16 format = 0;
  Mix_QuerySpec(&rate, &format, &channels);
  if ((format != AUDIO_U8 && format != AUDIO_S16SYS) || channels < 1) {
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return nullptr;
  }
  Mix_AllocateChannels(kMaxSoundBuffers);
  auto* device = new SoundDevice;
  device->format = SoundOutputFormat{rate, channels, format == AUDIO_U8 ? 8 : 16};
  device->sdl_format = format;
  return device;
}

void close_sound_device(SoundDevice* device) {
  if (!device) return;
  Mix_HookMusic(nullptr, nullptr);
  Mix_HaltChannel(-1);
  Mix_CloseAudio();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  delete device;
}

SoundBuffer* create_sound_buffer(SoundDevice* device, const uint8_t* samples, uint32_t bytes,
                                 int32_t voice) {
  if (!device || !samples || bytes == 0 || voice < 0 || voice >= kMaxSoundBuffers) return nullptr;
  SDL_AudioCVT cvt;
  const SoundOutputFormat& out = device->format;
  const int needed = SDL_BuildAudioCVT(&cvt, AUDIO_U8, 1, kSoundBufferRate, device->sdl_format,
                                       static_cast<Uint8>(out.channels), out.sample_rate);
  if (needed < 0) return nullptr;
  const std::size_t capacity = static_cast<std::size_t>(bytes) * (needed ? cvt.len_mult : 1);
  auto* memory = static_cast<uint8_t*>(SDL_malloc(capacity));
  if (!memory) return nullptr;
  std::memcpy(memory, samples, bytes);
  Uint32 length = bytes;
  if (needed) {
    cvt.buf = memory;
    cvt.len = static_cast<int>(bytes);
    if (SDL_ConvertAudio(&cvt) != 0) {
      SDL_free(memory);
      return nullptr;
    }
    length = static_cast<Uint32>(cvt.len_cvt);
  }
  Mix_Chunk* chunk = Mix_QuickLoad_RAW(memory, length);
  if (!chunk) {
    SDL_free(memory);
    return nullptr;
  }
  return new SoundBuffer{chunk, memory, voice};
}

bool play_sound_buffer(SoundBuffer* buffer) {
  if (!buffer) return false;
  // Playing on the buffer's own voice halts what that voice was playing.
  return Mix_PlayChannel(buffer->voice, buffer->chunk, 0) == buffer->voice;
}

void release_sound_buffer(SoundBuffer* buffer) {
  if (!buffer) return;
  Mix_FreeChunk(buffer->chunk);  // halts any voice still playing it
  SDL_free(buffer->samples);
  delete buffer;
}

bool sound_output_format(const SoundDevice* device, SoundOutputFormat& format) {
  if (!device) return false;
  format = device->format;
  return true;
}

void set_sound_stream(SoundDevice* device, SoundStreamCallback callback, void* context) {
  if (!device) return;
  // Mix_HookMusic swaps the hook with the device locked, so the old callback
  // has finished before it returns.
  Mix_HookMusic(nullptr, nullptr);
  device->stream = callback;
  device->stream_context = context;
  if (callback) Mix_HookMusic(mix_stream, device);
}

}  // namespace platform
