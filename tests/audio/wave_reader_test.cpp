// The RIFF WAVE and MIDI readers against well-formed, odd and hostile bytes.
#include "audio/wave_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "audio/midi_file.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void put_id(Bytes& b, const char* id) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(id[i]));
}

void chunk(Bytes& b, const char* id, const Bytes& data) {
  put_id(b, id);
  put32(b, static_cast<uint32_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  if (data.size() & 1) b.push_back(0);
}

Bytes format_record(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
  Bytes f;
  put16(f, tag);
  put16(f, channels);
  put32(f, rate);
  put32(f, rate * channels * bits / 8);
  put16(f, static_cast<uint16_t>(channels * bits / 8));
  put16(f, bits);
  return f;
}

Bytes riff(const char* form, const Bytes& body) {
  Bytes b;
  put_id(b, "RIFF");
  put32(b, static_cast<uint32_t>(body.size() + 4));
  put_id(b, form);
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

Bytes wave(const Bytes& format, const Bytes& samples, const char* first_id = "fmt ") {
  Bytes body;
  chunk(body, first_id, format);
  chunk(body, "data", samples);
  return riff("WAVE", body);
}

const Bytes kSamples{128, 200, 56, 128, 90};

TEST(WaveReader, AcceptsAnyPcmLayoutAndRefusesCompressedData) {
  struct Case {
    const char* what;
    Bytes format;
    bool accepted;
  };
  const Case cases[] = {
      {"8-bit mono", format_record(1, 1, 22050, 8), true},
      {"16-bit stereo at 44.1 kHz", format_record(1, 2, 44100, 16), true},
      {"ADPCM", format_record(2, 1, 22050, 4), false},
      {"IEEE float", format_record(3, 1, 22050, 32), false},
  };
  for (const Case& c : cases) {
    const Bytes file = wave(c.format, kSamples);
    WaveLocation where;
    EXPECT_EQ(locate_wave(file.data(), file.size(), 0, where), c.accepted) << c.what;
    if (!c.accepted) continue;
    EXPECT_EQ(where.data_bytes, kSamples.size()) << c.what;
    EXPECT_EQ(Bytes(file.begin() + static_cast<long>(where.data_offset),
                    file.begin() + static_cast<long>(where.data_offset + where.data_bytes)),
              kSamples)
        << c.what;
  }
}

TEST(WaveReader, TakesTheFirstSubChunkAsTheFormatWhateverItsName) {
  // A "LIST" chunk first: read as the format, so only its first two bytes
  // decide.
  Bytes pcm_like{1, 0, 'x', 'y', 'z', 'w', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Bytes text_like{'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  WaveLocation where;
  const Bytes a = wave(pcm_like, kSamples, "LIST");
  EXPECT_TRUE(locate_wave(a.data(), a.size(), 0, where));
  const Bytes b = wave(text_like, kSamples, "LIST");
  EXPECT_FALSE(locate_wave(b.data(), b.size(), 0, where));
}

TEST(WaveReader, ReadsEighteenFormatBytesPastASixteenByteChunk) {
  Bytes format = format_record(1, 1, 22050, 8);
  ASSERT_EQ(format.size(), 16u);
  const Bytes file = wave(format, kSamples);
  WaveLocation where;
  ASSERT_TRUE(locate_wave(file.data(), file.size(), 0, where));
  EXPECT_EQ(where.format.samples_per_second, 22050u);
  EXPECT_EQ(where.format.extra_bytes, 'd' | 'a' << 8);  // the next chunk's name
}

TEST(WaveReader, FindsTheWaveAtAnOffsetAfterOtherChunks) {
  Bytes file(7, 0xEE);
  const Bytes other = riff("AVI ", Bytes(10, 1));
  file.insert(file.end(), other.begin(), other.end());
  Bytes body;
  chunk(body, "fmt ", format_record(1, 1, 22050, 8));
  chunk(body, "fact", Bytes{1, 2, 3, 4});
  chunk(body, "data", kSamples);
  const Bytes w = riff("WAVE", body);
  file.insert(file.end(), w.begin(), w.end());
  WaveLocation where;
  ASSERT_TRUE(locate_wave(file.data(), file.size(), 7, where));
  EXPECT_EQ(file[where.data_offset + 1], 200);
  // From offset 0 the junk bytes are read as a chunk header and skipped past
  // the end of the file.
  EXPECT_FALSE(locate_wave(file.data(), file.size(), 0, where));
}

TEST(WaveReader, RefusesEveryTruncationAndSurvivesGarbage) {
  const Bytes file = wave(format_record(1, 1, 22050, 8), Bytes(40, 128));
  WaveLocation where;
  for (std::size_t size = 0; size < file.size(); ++size)
    EXPECT_FALSE(locate_wave(file.data(), size, 0, where)) << size;
  EXPECT_FALSE(locate_wave(file.data(), file.size(), file.size() + 5, where));

  // A data chunk claiming more than the file holds, and a RIFF size of 4 GB.
  Bytes lying = file;
  lying[lying.size() - 40 - 4] = 0xFF;
  EXPECT_FALSE(locate_wave(lying.data(), lying.size(), 0, where));
  Bytes huge = file;
  huge[4] = huge[5] = huge[6] = huge[7] = 0xFF;
  EXPECT_TRUE(locate_wave(huge.data(), huge.size(), 0, where));

  uint32_t state = 12345;
  Bytes noise(4096);
  for (int round = 0; round < 200; ++round) {
    for (uint8_t& b : noise) b = static_cast<uint8_t>((state = state * 1103515245u + 12345u) >> 24);
    if (round % 2) std::copy(file.begin(), file.begin() + 12, noise.begin());  // a real header
    WaveLocation w;
    if (locate_wave(noise.data(), noise.size(), 0, w)) {
      EXPECT_LE(w.data_offset + w.data_bytes, noise.size());
    }
  }
}

Bytes midi_file(uint16_t tracks, uint16_t declared) {
  Bytes b{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, static_cast<uint8_t>(declared), 1, 0xE0};
  for (uint16_t i = 0; i < tracks; ++i) {
    const Bytes track{'M', 'T', 'r', 'k', 0, 0, 0, 4, 0, 0xFF, 0x2F, 0};
    b.insert(b.end(), track.begin(), track.end());
  }
  return b;
}

TEST(MidiFile, ChecksHeaderAndTrackChunksWithinTheBytes) {
  const Bytes good = midi_file(2, 2);
  EXPECT_TRUE(is_standard_midi_file(good.data(), good.size()));
  for (std::size_t size = 0; size < good.size(); ++size)
    EXPECT_FALSE(is_standard_midi_file(good.data(), size)) << size;
  const Bytes missing_track = midi_file(1, 2);
  EXPECT_FALSE(is_standard_midi_file(missing_track.data(), missing_track.size()));
  Bytes no_tracks = midi_file(0, 0);
  EXPECT_FALSE(is_standard_midi_file(no_tracks.data(), no_tracks.size()));
  Bytes format3 = good;
  format3[9] = 3;
  EXPECT_FALSE(is_standard_midi_file(format3.data(), format3.size()));
  Bytes long_track = good;
  long_track[14 + 4] = 0x7F;  // a track length far past the end
  EXPECT_FALSE(is_standard_midi_file(long_track.data(), long_track.size()));
  const Bytes riff_bytes = wave(format_record(1, 1, 22050, 8), kSamples);
  EXPECT_FALSE(is_standard_midi_file(riff_bytes.data(), riff_bytes.size()));
}

// The generated archive, read by an independent tool: both sounds are 8-bit
// mono at 22,050 Hz, the spare one ends before the shot's offset.
std::string run(const std::string& command) {
  std::string out;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
  pclose(pipe);
  return out;
}

TEST(SoundArchive, HoldsTwoEightBitMonoWavesAtTheirOffsets) {
  const std::string pak = std::string(MORVANE_GAME_DIR) + "/sound.pak";
  std::FILE* file = std::fopen(pak.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  Bytes bytes(200000);
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
  std::fclose(file);
  ASSERT_GT(bytes.size(), 29553u + 44u);
  const uint32_t spare_riff = bytes[5] | bytes[6] << 8 | bytes[7] << 16 | static_cast<uint32_t>(bytes[8]) << 24;
  EXPECT_LE(1u + 8u + spare_riff, 29553u);
  EXPECT_EQ(std::string(bytes.begin() + 29553, bytes.begin() + 29557), "RIFF");

  const std::string tmp = testing::TempDir();
  for (const auto& [offset, name] : {std::pair{1, "spare.wav"}, std::pair{29553, "shot.wav"}}) {
    const std::string path = tmp + std::to_string(::getpid()) + "_" + name;
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(bytes.data() + offset, 1, bytes.size() - static_cast<std::size_t>(offset), out);
    std::fclose(out);
    EXPECT_EQ(run("soxi -r '" + path + "'"), "22050\n") << name;
    EXPECT_EQ(run("soxi -c '" + path + "'"), "1\n") << name;
    EXPECT_EQ(run("soxi -b '" + path + "'"), "8\n") << name;
    EXPECT_EQ(run("soxi -e '" + path + "'"), "Unsigned Integer PCM\n") << name;
    const double seconds = std::stod(run("soxi -D '" + path + "'"));
    EXPECT_GT(seconds, 0.2) << name;
    EXPECT_LT(seconds, 1.4) << name;
  }
}

}  // namespace
