// Writes the sound archive: one unused byte, the spare sound (an explosion)
// at offset 1, and the shot sound (a tank gun's report) at offset 29553,
// both RIFF WAVE files of 8-bit mono PCM at 22,050 samples per second.
// Everything is synthesized here from a fixed seed, so every build writes
// the same bytes.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRate = 22050;
constexpr long kSpareOffset = 1;
constexpr long kShotOffset = 29553;
constexpr double kPi = 3.14159265358979323846;

struct Noise {
  uint32_t state;
  // White noise in -1..1 from a fixed linear congruential sequence.
  double next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<double>(state >> 8) / 8388608.0 - 1.0;
  }
};

// A one-pole low-pass filter; `cutoff` in Hz.
struct LowPass {
  double value = 0;
  double run(double input, double cutoff) {
    const double a = 1.0 - std::exp(-2.0 * kPi * cutoff / kRate);
    value += a * (input - value);
    return value;
  }
};

// The gun: a sharp noise crack, a low thump falling in pitch, and a short
// rumbling tail, all over in about 0.6 s.
std::vector<double> shot() {
  const int count = kRate * 6 / 10;
  std::vector<double> out(static_cast<std::size_t>(count));
  Noise noise{0x5EEDu};
  LowPass crack_filter, tail_filter;
  double phase = 0;
  for (int i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double attack = std::min(1.0, t / 0.002);
    const double crack = crack_filter.run(noise.next(), 6000.0 - 5000.0 * std::min(1.0, t / 0.05)) *
                         std::exp(-t / 0.025) * 1.6;
    phase += 2.0 * kPi * (38.0 + 90.0 * std::exp(-t / 0.04)) / kRate;
    const double thump = std::sin(phase) * std::exp(-t / 0.12);
    const double tail = tail_filter.run(noise.next(), 400.0) * std::exp(-t / 0.18) * 2.2;
    out[static_cast<std::size_t>(i)] = attack * (0.55 * crack + 0.75 * thump + 0.5 * tail);
  }
  return out;
}

// An explosion: a blast of wide noise that darkens into a long low rumble
// with a few debris crackles, about 1.3 s.
std::vector<double> explosion() {
  const int count = kRate * 13 / 10;
  std::vector<double> out(static_cast<std::size_t>(count));
  Noise noise{0xB00B5u};
  LowPass body, rumble;
  double phase = 0;
  for (int i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double attack = std::min(1.0, t / 0.004);
    const double n = noise.next();
    const double blast = body.run(n, 200.0 + 3000.0 * std::exp(-t / 0.08)) * std::exp(-t / 0.35) * 2.0;
    const double low = rumble.run(n, 90.0) * std::exp(-t / 0.6) * 5.0;
    phase += 2.0 * kPi * (30.0 + 25.0 * std::exp(-t / 0.2)) / kRate;
    const double boom = std::sin(phase) * std::exp(-t / 0.3) * 0.6;
    const double crackle = (noise.next() > 0.995 ? noise.next() : 0.0) * std::exp(-t / 0.5);
    out[static_cast<std::size_t>(i)] = attack * (blast + low + boom + 0.8 * crackle);
  }
  return out;
}

// Scales the loudest sample to 95 % of full scale and quantises to unsigned
// bytes centred on 128.
std::vector<uint8_t> to_u8(const std::vector<double>& samples) {
  double peak = 1e-9;
  for (double s : samples) peak = std::max(peak, std::fabs(s));
  std::vector<uint8_t> out;
  out.reserve(samples.size());
  for (double s : samples) out.push_back(static_cast<uint8_t>(std::lround(128.0 + 121.0 * s / peak)));
  return out;
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void put_id(std::vector<uint8_t>& out, const char* id) { out.insert(out.end(), id, id + 4); }

std::vector<uint8_t> wave_file(const std::vector<uint8_t>& samples) {
  const uint32_t data = static_cast<uint32_t>(samples.size());
  const uint32_t pad = data & 1u;
  std::vector<uint8_t> out;
  put_id(out, "RIFF");
  put32(out, 4 + 8 + 16 + 8 + data + pad);
  put_id(out, "WAVE");
  put_id(out, "fmt ");
  put32(out, 16);
  put16(out, 1);       // PCM
  put16(out, 1);       // mono
  put32(out, kRate);   // samples per second
  put32(out, kRate);   // bytes per second
  put16(out, 1);       // block alignment
  put16(out, 8);       // bits per sample
  put_id(out, "data");
  put32(out, data);
  out.insert(out.end(), samples.begin(), samples.end());
  if (pad) out.push_back(128);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sound_pak OUTPUT\n");
    return 2;
  }
  const std::vector<uint8_t> spare = wave_file(to_u8(explosion()));
  const std::vector<uint8_t> gun = wave_file(to_u8(shot()));
  if (kSpareOffset + static_cast<long>(spare.size()) > kShotOffset) {
    std::fprintf(stderr, "make_sound_pak: the spare sound overlaps the shot sound\n");
    return 1;
  }
  std::vector<uint8_t> pak(static_cast<std::size_t>(kShotOffset), 0);
  std::copy(spare.begin(), spare.end(), pak.begin() + kSpareOffset);
  pak.insert(pak.end(), gun.begin(), gun.end());
  std::FILE* file = std::fopen(argv[1], "wb");
  if (!file) return 1;
  const bool ok = std::fwrite(pak.data(), 1, pak.size(), file) == pak.size();
  return std::fclose(file) == 0 && ok ? 0 : 1;
}
