// The thirteen pieces of the music rotation: each its own tempo, key, mode,
// band and drum style. The composer turns one of these into a MIDI file.
#pragma once

#include <array>
#include <cstdint>

enum class Mode { Aeolian, Dorian, Phrygian, Mixolydian, Ionian, HarmonicMinor };

enum class DrumStyle { Rock, Driving, FourFloor, March, Shuffle, Punk, HalfTime, Waltz, LaidBack, Taiko };

enum class BassStyle { Eighths, RootFifth, Walking, Pulse, Gallop, Waltz, Long };

// General MIDI program numbers (0-based); -1 for a part the piece leaves out.
struct Band {
  int lead;
  int counter;
  int pad;
  int bass;
  int arp;
  int hits;  // low accents on section starts and fills (timpani and the like)
};

struct Piece {
  const char* title;
  int length_ms;  // the rotation's playing time; the piece ends just before it
  int bpm;
  int beats_per_bar;
  int tonic;  // MIDI note of the key's tonic in the lead's octave
  Mode mode;
  Band band;
  DrumStyle drums;
  BassStyle bass;
  bool swing;
  bool sevenths;     // four-note chords
  bool dominant;     // every chord a dominant seventh (the blues)
  int progression_length;  // 4, or 12 for the blues
  std::array<int, 12> verse;   // scale degrees (0 = tonic), one chord per bar
  std::array<int, 12> chorus;
  std::array<int, 12> bridge;
  uint32_t seed;
};

inline constexpr std::array<Piece, 13> kPieces = {{
    {"Iron Dawn", 191000, 132, 4, 62, Mode::Aeolian, {60, 48, 49, 33, 46, 47}, DrumStyle::Rock,
     BassStyle::Eighths, false, false, false, 4, {0, 5, 2, 6}, {3, 4, 0, 0}, {5, 3, 6, 4}, 0x1A2B},
    {"Treads of Thunder", 239000, 150, 4, 64, Mode::Phrygian, {30, 29, 50, 34, -1, -1},
     DrumStyle::Driving, BassStyle::Gallop, false, false, false, 4, {0, 1, 0, 6}, {5, 6, 0, 0},
     {3, 1, 5, 6}, 0x2B3C},
    {"Steel Horizon", 223000, 116, 4, 67, Mode::Mixolydian, {81, 62, 89, 38, 80, -1},
     DrumStyle::FourFloor, BassStyle::Pulse, false, true, false, 4, {0, 6, 3, 0}, {4, 3, 6, 0},
     {5, 3, 1, 6}, 0x3C4D},
    {"Crossfire Valley", 402000, 140, 4, 69, Mode::Aeolian, {29, 61, 48, 33, 27, -1},
     DrumStyle::Rock, BassStyle::RootFifth, false, false, false, 4, {0, 6, 5, 6}, {3, 0, 4, 4},
     {5, 6, 3, 4}, 0x4D5E},
    {"The Long Siege", 479000, 96, 4, 60, Mode::Aeolian, {56, 60, 48, 32, 46, 47}, DrumStyle::March,
     BassStyle::RootFifth, false, false, false, 4, {0, 3, 4, 0}, {5, 2, 6, 4}, {3, 5, 6, 4}, 0x5E6F},
    {"Armour Plate Blues", 321000, 112, 4, 64, Mode::Mixolydian, {66, 16, 4, 32, -1, -1},
     DrumStyle::Shuffle, BassStyle::Walking, true, true, true, 12,
     {0, 3, 0, 0, 3, 3, 0, 0, 4, 3, 0, 4}, {0, 0, 0, 0, 3, 3, 0, 0, 4, 3, 0, 4},
     {3, 3, 0, 0, 3, 3, 0, 0, 4, 4, 3, 4}, 0x6F70},
    {"Flank Run", 132000, 172, 4, 66, Mode::Aeolian, {80, 81, 50, 38, 84, -1}, DrumStyle::Punk,
     BassStyle::Eighths, false, false, false, 4, {0, 5, 6, 4}, {2, 6, 0, 0}, {5, 6, 3, 4}, 0x7081},
    {"Smoke on the Ridge", 229000, 84, 4, 59, Mode::Dorian, {30, 52, 91, 33, -1, 47},
     DrumStyle::HalfTime, BassStyle::Long, false, false, false, 4, {0, 3, 0, 6}, {5, 6, 0, 3},
     {2, 3, 6, 4}, 0x8192},
    {"Turret Waltz", 267000, 138, 3, 62, Mode::HarmonicMinor, {21, 40, 48, 32, 46, -1},
     DrumStyle::Waltz, BassStyle::Waltz, false, false, false, 4, {0, 3, 4, 0}, {5, 3, 4, 4},
     {2, 5, 3, 4}, 0x92A3},
    {"Night Convoy", 219000, 100, 4, 61, Mode::Aeolian, {11, 4, 95, 35, 46, -1}, DrumStyle::LaidBack,
     BassStyle::RootFifth, false, true, false, 4, {0, 5, 3, 4}, {5, 6, 2, 5}, {3, 2, 5, 4}, 0xA3B4},
    {"Kill Zone", 317000, 160, 4, 67, Mode::Phrygian, {62, 84, 50, 87, 81, 55}, DrumStyle::Driving,
     BassStyle::Gallop, false, false, false, 4, {0, 1, 6, 0}, {5, 1, 6, 4}, {3, 4, 1, 6}, 0xB4C5},
    {"Last Shell", 172000, 76, 4, 65, Mode::HarmonicMinor, {68, 42, 49, 32, 46, 47}, DrumStyle::Taiko,
     BassStyle::Long, false, false, false, 4, {0, 5, 3, 4}, {5, 2, 3, 4}, {0, 3, 5, 4}, 0xC5D6},
    {"Victory Road", 217000, 120, 4, 58, Mode::Ionian, {56, 61, 48, 33, 46, 47}, DrumStyle::March,
     BassStyle::RootFifth, false, false, false, 4, {0, 3, 4, 0}, {5, 3, 1, 4}, {3, 4, 5, 4}, 0xD6E7},
}};
