// Composes the thirteen music tracks as standard MIDI files (format 1,
// 480 ticks per quarter note): an intro, verse, chorus and bridge sections
// that develop (a lifted chorus, a breakdown, a final key change), and an
// ending cadence, timed so that each piece ends just before its place in
// the rotation runs out. Melodies grow from two-bar motifs drawn from each
// piece's own seed, so every build writes the same files.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "pieces.h"

namespace {

constexpr int kTicksPerQuarter = 480;
constexpr int kTicksPerSixteenth = kTicksPerQuarter / 4;
// The last note ends this long before the rotation moves on, so that the
// final chord can ring out.
constexpr int kEndMarginMs = 3000;
constexpr int kIntroBars = 4;
constexpr int kOutroBars = 2;

enum Channel { kLead = 0, kCounter = 1, kPad = 2, kBass = 3, kArp = 4, kHits = 5, kDrums = 9 };

// General MIDI percussion keys.
enum Drum {
  kKick = 36, kSideStick = 37, kSnare = 38, kClap = 39, kLowTom = 41, kClosedHat = 42, kMidTom = 45,
  kOpenHat = 46, kHighTom = 48, kCrash = 49, kHighestTom = 50, kRide = 51, kTambourine = 54
};

const int kModeSteps[][7] = {
    {0, 2, 3, 5, 7, 8, 10}, {0, 2, 3, 5, 7, 9, 10}, {0, 1, 3, 5, 7, 8, 10},
    {0, 2, 4, 5, 7, 9, 10}, {0, 2, 4, 5, 7, 9, 11}, {0, 2, 3, 5, 7, 8, 11},
};

struct Rng {
  uint32_t state;
  uint32_t next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  int below(int n) { return static_cast<int>(next() % static_cast<uint32_t>(n)); }
  bool chance(int percent) { return below(100) < percent; }
};

struct Event {
  int tick;
  int order;  // note-offs before note-ons at the same tick
  std::vector<uint8_t> bytes;
};

struct Song {
  std::vector<std::vector<Event>> tracks = std::vector<std::vector<Event>>(16);
  void add(int channel, int tick, std::vector<uint8_t> bytes, int order = 1) {
    tracks[static_cast<std::size_t>(channel)].push_back({tick, order, std::move(bytes)});
  }
  void note(int channel, int tick, int length, int key, int velocity) {
    if (key < 0 || key > 127 || length <= 0) return;
    velocity = std::clamp(velocity, 1, 127);
    add(channel, tick, {static_cast<uint8_t>(0x90 | channel), static_cast<uint8_t>(key), static_cast<uint8_t>(velocity)});
    add(channel, tick + length, {static_cast<uint8_t>(0x80 | channel), static_cast<uint8_t>(key), 0}, 0);
  }
  void control(int channel, int tick, int number, int value) {
    add(channel, tick, {static_cast<uint8_t>(0xB0 | channel), static_cast<uint8_t>(number), static_cast<uint8_t>(value)});
  }
};

// Harmony: the piece's scale and the chord on each bar.
struct Harmony {
  const Piece& piece;
  int transpose = 0;  // semitones, for the final key change

  const int* steps() const { return kModeSteps[static_cast<int>(piece.mode)]; }
  // The pitch of a scale degree (any integer) counted from the tonic.
  int degree_pitch(int degree) const {
    const int octave = degree >= 0 ? degree / 7 : -((6 - degree) / 7);
    return piece.tonic + transpose + 12 * octave + steps()[degree - 7 * octave];
  }
  // Pitch classes (0-11, relative to the tonic) of the chord on `degree`.
  std::vector<int> chord_classes(int degree) const {
    std::vector<int> classes;
    const int root = degree_pitch(degree) - piece.tonic - transpose;
    if (piece.dominant) {
      for (int interval : {0, 4, 7, 10}) classes.push_back(((root + interval) % 12 + 12) % 12);
      return classes;
    }
    const int notes = piece.sevenths ? 4 : 3;
    for (int i = 0; i < notes; ++i)
      classes.push_back(((degree_pitch(degree + 2 * i) - piece.tonic - transpose) % 12 + 12) % 12);
    return classes;
  }
  bool in_chord(int degree, int chord_degree) const {
    const int pc = ((degree_pitch(degree) - piece.tonic - transpose) % 12 + 12) % 12;
    const std::vector<int> classes = chord_classes(chord_degree);
    return std::find(classes.begin(), classes.end(), pc) != classes.end();
  }
  // The chord tone nearest to a melody degree (searching outwards).
  int snap(int degree, int chord_degree) const {
    for (int d = 0; d <= 3; ++d) {
      if (in_chord(degree - d, chord_degree)) return degree - d;
      if (in_chord(degree + d, chord_degree)) return degree + d;
    }
    return degree;
  }
  // The chord's notes as MIDI keys around `base` (the chord's root at or
  // below it).
  std::vector<int> voicing(int chord_degree, int base) const {
    int root = degree_pitch(chord_degree);
    while (root > base) root -= 12;
    while (root + 12 <= base) root += 12;
    std::vector<int> keys;
    const int first_class = ((root - piece.tonic - transpose) % 12 + 12) % 12;
    for (int pc : chord_classes(chord_degree)) keys.push_back(root + ((pc - first_class) % 12 + 12) % 12);
    std::sort(keys.begin(), keys.end());
    return keys;
  }
};

// A two-bar melodic idea: rhythm in eighth notes and scale degrees above
// the tonic.
struct MotifNote {
  int start;   // eighths from the motif's start
  int length;  // eighths
  int degree;
  bool rest;
};
using Motif = std::vector<MotifNote>;

Motif make_motif(Rng& rng, int beats_per_bar, int low, int high) {
  static const int kLengths[] = {1, 1, 2, 2, 2, 3, 4};
  const int total = 4 * beats_per_bar;  // eighths in two bars
  Motif motif;
  int degree = low + 2 * rng.below(3);
  int at = 0;
  while (at < total) {
    int length = kLengths[rng.below(7)];
    if (at + length > total || total - at - length == 0) length = total - at;
    if (total - at <= 4 && at + length < total && rng.chance(50)) length = total - at;
    motif.push_back({at, length, degree, at > 0 && rng.chance(12)});
    at += length;
    int step = rng.chance(70) ? (rng.chance(50) ? 1 : -1) : (rng.chance(50) ? 2 : -3);
    if (rng.chance(8)) step = rng.chance(50) ? 4 : -4;
    degree = std::clamp(degree + step, low, high);
  }
  return motif;
}

struct Section {
  enum Kind { Intro, Verse, Chorus, Bridge, LiftedChorus, Outro } kind;
  int bars;
  int transpose;
};

struct Composer {
  const Piece& piece;
  Song song;
  Rng rng;
  Motif verse_motif, chorus_motif;
  int bar_ticks() const { return piece.beats_per_bar * kTicksPerQuarter; }

  explicit Composer(const Piece& p) : piece(p), rng{p.seed * 2654435761u + 1u} {
    verse_motif = make_motif(rng, p.beats_per_bar, 0, 9);
    chorus_motif = make_motif(rng, p.beats_per_bar, 2, 11);
  }

  int humanize(int velocity) { return velocity + rng.below(9) - 4; }

  int swung(int tick) const {
    if (!piece.swing) return tick;
    const int in_beat = tick % kTicksPerQuarter;
    return in_beat == kTicksPerQuarter / 2 ? tick + kTicksPerQuarter / 6 : tick;
  }

  const std::array<int, 12>& progression(Section::Kind kind) const {
    if (kind == Section::Chorus || kind == Section::LiftedChorus) return piece.chorus;
    if (kind == Section::Bridge) return piece.bridge;
    return piece.verse;
  }

  // One melody phrase per two bars: the motif, its answer, the motif raised
  // a step, and a cadence that comes to rest on a chord tone.
  void melody(int channel, int start, const Section& section, const Motif& motif, const Harmony& harmony,
              int octave_shift, int velocity, int stretch) {
    const auto& chords = progression(section.kind);
    const int length = piece.progression_length;
    for (int pair = 0; pair * 2 * stretch < section.bars; ++pair) {
      const int form = pair % 4;
      const int shift = form == 2 ? 2 : 0;
      for (std::size_t i = 0; i < motif.size(); ++i) {
        const MotifNote& n = motif[i];
        if (n.rest) continue;
        const int eighth_ticks = kTicksPerQuarter / 2 * stretch;
        const int tick = start + pair * 2 * stretch * bar_ticks() + n.start * eighth_ticks;
        const int bar = (tick - start) / bar_ticks();
        if (bar >= section.bars) break;
        const int chord = chords[static_cast<std::size_t>(bar % length)];
        int degree = n.degree + shift;
        const bool last = i + 1 == motif.size();
        if (form == 1 && last) degree -= 1;
        const bool strong = n.start % 2 == 0;
        if (strong || last) degree = harmony.snap(degree, chord);
        if (form == 3 && last) degree = harmony.snap(7, chord);
        const int key = harmony.degree_pitch(degree) + 12 * octave_shift;
        const int accent = strong ? 8 : 0;
        song.note(channel, swung(tick), n.length * eighth_ticks - 20, key, humanize(velocity + accent));
      }
    }
  }

  void pad(int start, const Section& section, const Harmony& harmony, int velocity) {
    const auto& chords = progression(section.kind);
    for (int bar = 0; bar < section.bars; ++bar) {
      const int chord = chords[static_cast<std::size_t>(bar % piece.progression_length)];
      const int tick = start + bar * bar_ticks();
      for (int key : harmony.voicing(chord, piece.tonic - 5)) song.note(kPad, tick, bar_ticks() - 10, key, velocity);
    }
  }

  void bass(int start, const Section& section, const Harmony& harmony, int velocity, bool sparse) {
    const auto& chords = progression(section.kind);
    const int beats = piece.beats_per_bar;
    for (int bar = 0; bar < section.bars; ++bar) {
      const int chord = chords[static_cast<std::size_t>(bar % piece.progression_length)];
      const int next = chords[static_cast<std::size_t>((bar + 1) % piece.progression_length)];
      const int tick = start + bar * bar_ticks();
      const int root = harmony.voicing(chord, piece.tonic - 22)[0];
      const int fifth = root + 7;
      const int next_root = harmony.voicing(next, piece.tonic - 22)[0];
      const BassStyle style = sparse ? BassStyle::Long : piece.bass;
      const int q = kTicksPerQuarter;
      switch (style) {
        case BassStyle::Long:
          song.note(kBass, tick, bar_ticks() - 20, root, velocity);
          break;
        case BassStyle::Eighths:
          for (int e = 0; e < 2 * beats; ++e) {
            const int key = e == 2 * beats - 1 && next_root != root ? next_root - 1 : root;
            song.note(kBass, tick + e * q / 2, q / 2 - 20, key, humanize(velocity - (e % 2) * 10));
          }
          break;
        case BassStyle::Gallop:
          for (int b = 0; b < beats; ++b) {
            song.note(kBass, tick + b * q, q / 2 - 10, root, humanize(velocity));
            song.note(kBass, tick + b * q + q / 2, q / 4 - 10, root, humanize(velocity - 12));
            song.note(kBass, tick + b * q + 3 * q / 4, q / 4 - 10, b == beats - 1 ? fifth : root, humanize(velocity - 12));
          }
          break;
        case BassStyle::RootFifth: {
          const int pattern[] = {root, fifth, root + 12, fifth};
          for (int b = 0; b < beats; ++b) song.note(kBass, tick + b * q, q - 30, pattern[b % 4], humanize(velocity));
          break;
        }
        case BassStyle::Walking: {
          const std::vector<int> tones = harmony.voicing(chord, piece.tonic - 22);
          const int walk[] = {root, tones[1 % tones.size()], tones[2 % tones.size()], next_root + (next_root > root ? -1 : 1)};
          for (int b = 0; b < beats; ++b) song.note(kBass, tick + b * q, q - 40, walk[b % 4], humanize(velocity));
          break;
        }
        case BassStyle::Pulse:
          for (int s = 0; s < 4 * beats; ++s)
            if (s % 4 != 0) song.note(kBass, tick + s * q / 4, q / 4 - 15, s % 4 == 2 ? root + 12 : root, humanize(velocity - 8));
          song.note(kBass, tick, q / 4 - 10, root, velocity);
          break;
        case BassStyle::Waltz:
          song.note(kBass, tick, q - 20, root, humanize(velocity));
          song.note(kBass, tick + 2 * q, q - 20, fifth - 12, humanize(velocity - 15));
          break;
      }
    }
  }

  void arpeggio(int start, const Section& section, const Harmony& harmony, int velocity, bool sixteenths) {
    if (piece.band.arp < 0) return;
    const auto& chords = progression(section.kind);
    const int step = sixteenths ? kTicksPerSixteenth : 2 * kTicksPerSixteenth;
    for (int bar = 0; bar < section.bars; ++bar) {
      const int chord = chords[static_cast<std::size_t>(bar % piece.progression_length)];
      std::vector<int> keys = harmony.voicing(chord, piece.tonic + 7);
      keys.push_back(keys[0] + 12);
      const int count = bar_ticks() / step;
      for (int i = 0; i < count; ++i) {
        const int up = i % (2 * static_cast<int>(keys.size()) - 2);
        const int index = up < static_cast<int>(keys.size()) ? up : 2 * static_cast<int>(keys.size()) - 2 - up;
        song.note(kArp, swung(start + bar * bar_ticks() + i * step), step - 10,
                  keys[static_cast<std::size_t>(index)], humanize(velocity - (i % 2) * 8));
      }
    }
  }

  // One bar of the piece's groove at a given strength (0 quiet to 2 full).
  void groove_bar(int tick, int strength) {
    const int sixteenths = 4 * piece.beats_per_bar;
    auto hit = [&](int s, int key, int velocity) {
      song.note(kDrums, swung(tick + s * kTicksPerSixteenth), kTicksPerSixteenth, key, humanize(velocity));
    };
    const bool full = strength >= 2;
    for (int s = 0; s < sixteenths; ++s) {
      const bool beat = s % 4 == 0;
      const bool eighth = s % 2 == 0;
      switch (piece.drums) {
        case DrumStyle::Rock:
          if (s == 0 || s == 8 || (full && s == 10)) hit(s, kKick, 110);
          if (strength > 0 && (s == 4 || s == 12)) hit(s, kSnare, 105);
          if (eighth) hit(s, full && s == 14 ? kOpenHat : kClosedHat, beat ? 80 : 62);
          break;
        case DrumStyle::Driving:
          if (beat || (full && s == 14) || s == 15) hit(s, kKick, 112);
          if (strength > 0 && (s == 4 || s == 12)) hit(s, kSnare, 110);
          if (eighth) hit(s, full ? kRide : kClosedHat, beat ? 85 : 70);
          break;
        case DrumStyle::FourFloor:
          if (beat) hit(s, kKick, 112);
          if (strength > 0 && (s == 4 || s == 12)) hit(s, kClap, 95);
          if (s % 4 == 2) hit(s, kOpenHat, 70);
          if (full && s % 4 != 2) hit(s, kClosedHat, 50);
          break;
        case DrumStyle::March:
          if (s == 0 || s == 8) hit(s, kKick, 100);
          if (strength > 0 && (eighth || s == 3 || s == 11)) hit(s, kSnare, s == 0 || s == 8 ? 105 : 70);
          if (full && beat) hit(s, kTambourine, 60);
          break;
        case DrumStyle::Shuffle:
          if (s == 0 || s == 8 || (full && s == 10)) hit(s, kKick, 100);
          if (strength > 0 && (s == 4 || s == 12)) hit(s, kSnare, 95);
          if (eighth) hit(s, kRide, beat ? 80 : 60);
          break;
        case DrumStyle::Punk:
          if (s == 0 || s == 6 || s == 8) hit(s, kKick, 115);
          if (strength > 0 && (s == 4 || s == 12)) hit(s, kSnare, 115);
          if (eighth) hit(s, full ? kCrash : kClosedHat, full ? (beat ? 70 : 55) : 75);
          break;
        case DrumStyle::HalfTime:
          if (s == 0 || s == 3 || s == 10) hit(s, kKick, 110);
          if (strength > 0 && s == 8) hit(s, kSnare, 115);
          if (eighth) hit(s, kClosedHat, beat ? 75 : 55);
          if (full && s == 14) hit(s, kOpenHat, 70);
          break;
        case DrumStyle::Waltz:
          if (s == 0) hit(s, kKick, 100);
          if (strength > 0 && (s == 4 || s == 8)) hit(s, kSideStick, 80);
          if (eighth && (full || s % 4 == 2)) hit(s, kClosedHat, 60);
          break;
        case DrumStyle::LaidBack:
          if (s == 0 || s == 7 || s == 10) hit(s, kKick, 95);
          if (strength > 0 && (s == 4 || s == 12)) hit(s, kSideStick, 85);
          if (eighth || full) hit(s, kClosedHat, beat ? 65 : eighth ? 50 : 38);
          break;
        case DrumStyle::Taiko:
          if (s == 0 || s == 8) hit(s, kKick, 110);
          if (strength > 0 && (s == 3 || s == 6 || s == 12)) hit(s, s == 12 ? kLowTom : kMidTom, 100);
          if (full && (s == 14 || s == 15)) hit(s, kHighTom, 90);
          break;
      }
    }
  }

  // The last beat of a section: a run down the toms into the next one.
  void fill(int tick) {
    const int start = tick + bar_ticks() - kTicksPerQuarter;
    const int toms[] = {kHighestTom, kHighTom, kMidTom, kLowTom};
    for (int i = 0; i < 4; ++i) song.note(kDrums, start + i * kTicksPerSixteenth, kTicksPerSixteenth, toms[i], 95 + 5 * i);
    if (piece.band.hits >= 0) song.note(kHits, start, kTicksPerQuarter, piece.tonic - 24, 100);
  }

  void drums(int start, const Section& section) {
    for (int bar = 0; bar < section.bars; ++bar) {
      const int tick = start + bar * bar_ticks();
      int strength = 2;
      if (section.kind == Section::Intro) strength = bar < section.bars / 2 ? 0 : 1;
      if (section.kind == Section::Bridge) strength = bar < section.bars - 2 ? 0 : 1;
      if (section.kind == Section::Verse) strength = 1;
      const bool last = bar == section.bars - 1;
      if (bar == 0 && section.kind != Section::Intro) {
        song.note(kDrums, tick, kTicksPerQuarter, kCrash, 110);
        if (piece.band.hits >= 0) song.note(kHits, tick, kTicksPerQuarter * 2, piece.tonic - 24 + section.transpose, 110);
      }
      if (last) {
        groove_bar(tick, strength);  // the fill overlays the bar's last beat
        fill(tick);
      } else {
        groove_bar(tick, strength);
      }
    }
  }

  void section(int start, const Section& s) {
    Harmony harmony{piece, s.transpose};
    switch (s.kind) {
      case Section::Intro:
        pad(start, s, harmony, 60);
        bass(start, s, harmony, 80, true);
        arpeggio(start, s, harmony, 55, false);
        drums(start, s);
        break;
      case Section::Verse:
        pad(start, s, harmony, 55);
        bass(start, s, harmony, 92, false);
        melody(kLead, start, s, verse_motif, harmony, 0, 92, 1);
        arpeggio(start, s, harmony, 45, false);
        drums(start, s);
        break;
      case Section::Chorus:
        pad(start, s, harmony, 70);
        bass(start, s, harmony, 100, false);
        melody(kLead, start, s, chorus_motif, harmony, 0, 100, 1);
        melody(kCounter, start, s, chorus_motif, harmony, -1, 72, 1);
        arpeggio(start, s, harmony, 58, true);
        drums(start, s);
        break;
      case Section::Bridge:
        pad(start, s, harmony, 72);
        bass(start, s, harmony, 85, true);
        melody(kCounter, start, s, verse_motif, harmony, 0, 85, 2);
        arpeggio(start, s, harmony, 62, true);
        drums(start, s);
        break;
      case Section::LiftedChorus:
        pad(start, s, harmony, 78);
        bass(start, s, harmony, 105, false);
        melody(kLead, start, s, chorus_motif, harmony, 1, 105, 1);
        melody(kCounter, start, s, verse_motif, harmony, 0, 78, 1);
        arpeggio(start, s, harmony, 62, true);
        drums(start, s);
        break;
      case Section::Outro:
        outro(start, harmony);
        break;
    }
  }

  // A cadence on the fifth degree, then the tonic chord held with a crash.
  void outro(int start, const Harmony& harmony) {
    const int bar = bar_ticks();
    for (int key : harmony.voicing(4, piece.tonic - 5)) song.note(kPad, start, bar - 10, key, 80);
    song.note(kBass, start, bar - 20, harmony.voicing(4, piece.tonic - 22)[0], 100);
    song.note(kLead, start, bar / 2, harmony.degree_pitch(harmony.snap(8, 4)), 100);
    song.note(kLead, start + bar / 2, bar / 2 - 20, harmony.degree_pitch(harmony.snap(6, 4)), 95);
    groove_bar(start, 1);
    fill(start);
    const int end = start + bar;
    for (int key : harmony.voicing(0, piece.tonic - 5)) song.note(kPad, end, bar, key, 90);
    song.note(kBass, end, bar, harmony.voicing(0, piece.tonic - 22)[0], 110);
    song.note(kLead, end, bar, harmony.degree_pitch(7), 110);
    if (piece.band.counter >= 0) song.note(kCounter, end, bar, harmony.degree_pitch(4), 90);
    song.note(kDrums, end, kTicksPerQuarter, kCrash, 120);
    song.note(kDrums, end, kTicksPerQuarter, kKick, 120);
    if (piece.band.hits >= 0) song.note(kHits, end, bar, piece.tonic - 24 + harmony.transpose, 120);
  }
};

// Bars for the whole piece, and the tempo that makes them last exactly the
// target time: the body is a whole number of progressions.
struct Plan {
  std::vector<Section> sections;
  int total_bars = 0;
  int microseconds_per_quarter = 0;
};

Plan plan_piece(const Piece& piece) {
  const double target_ms = piece.length_ms - kEndMarginMs;
  const double bar_ms = piece.beats_per_bar * 60000.0 / piece.bpm;
  const int unit = piece.progression_length;
  int body = static_cast<int>(std::lround((target_ms / bar_ms - kIntroBars - kOutroBars) / unit)) * unit;
  body = std::max(body, 2 * unit);
  Plan plan;
  plan.total_bars = kIntroBars + body + kOutroBars;
  plan.microseconds_per_quarter =
      static_cast<int>(std::lround(target_ms * 1000.0 / (plan.total_bars * piece.beats_per_bar)));

  const int section_bars = unit == 12 ? 12 : 8;
  static const Section::Kind kCycle[] = {Section::Verse, Section::Chorus, Section::Verse,
                                         Section::Bridge, Section::LiftedChorus};
  plan.sections.push_back({Section::Intro, kIntroBars, 0});
  int left = body;
  for (int i = 0; left > 0; ++i) {
    const int bars = std::min(left, section_bars);
    Section::Kind kind = kCycle[i % 5];
    left -= bars;
    plan.sections.push_back({kind, bars, 0});
  }
  // The last body section is always the lifted chorus, a whole tone up when
  // there is room for the change to register, and the ending follows it.
  Section& last = plan.sections.back();
  last.kind = Section::LiftedChorus;
  const int lift = plan.sections.size() > 4 ? 2 : 0;
  last.transpose = lift;
  plan.sections.push_back({Section::Outro, kOutroBars, lift});
  return plan;
}

void write_var(std::vector<uint8_t>& out, uint32_t value) {
  uint8_t bytes[5];
  int count = 0;
  do {
    bytes[count++] = static_cast<uint8_t>(value & 0x7F);
    value >>= 7;
  } while (value);
  while (count > 1) out.push_back(static_cast<uint8_t>(bytes[--count] | 0x80));
  out.push_back(bytes[0]);
}

void put_be(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::vector<uint8_t> track_chunk(std::vector<Event> events, int end_tick) {
  std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
    return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
  });
  std::vector<uint8_t> data;
  int at = 0;
  for (const Event& e : events) {
    write_var(data, static_cast<uint32_t>(e.tick - at));
    data.insert(data.end(), e.bytes.begin(), e.bytes.end());
    at = e.tick;
  }
  write_var(data, static_cast<uint32_t>(std::max(0, end_tick - at)));
  data.insert(data.end(), {0xFF, 0x2F, 0x00});
  std::vector<uint8_t> chunk{'M', 'T', 'r', 'k'};
  put_be(chunk, static_cast<uint32_t>(data.size()), 4);
  chunk.insert(chunk.end(), data.begin(), data.end());
  return chunk;
}

std::vector<uint8_t> compose(const Piece& piece) {
  Composer composer(piece);
  const Plan plan = plan_piece(piece);
  Song& song = composer.song;

  std::vector<uint8_t> meta{0xFF, 0x03, static_cast<uint8_t>(std::string(piece.title).size())};
  meta.insert(meta.end(), piece.title, piece.title + std::string(piece.title).size());
  song.add(15, 0, meta);
  const uint32_t tempo = static_cast<uint32_t>(plan.microseconds_per_quarter);
  song.add(15, 0, {0xFF, 0x51, 0x03, static_cast<uint8_t>(tempo >> 16), static_cast<uint8_t>(tempo >> 8), static_cast<uint8_t>(tempo)});
  song.add(15, 0, {0xFF, 0x58, 0x04, static_cast<uint8_t>(piece.beats_per_bar), 2, 24, 8});

  const Band& band = piece.band;
  const int programs[] = {band.lead, band.counter, band.pad, band.bass, band.arp, band.hits};
  const int volumes[] = {110, 88, 72, 105, 70, 100};
  const int pans[] = {64, 40, 64, 64, 90, 64};
  for (int channel = 0; channel < 6; ++channel) {
    if (programs[channel] < 0) continue;
    song.add(channel, 0, {static_cast<uint8_t>(0xC0 | channel), static_cast<uint8_t>(programs[channel])});
    song.control(channel, 0, 7, volumes[channel]);
    song.control(channel, 0, 10, pans[channel]);
    song.control(channel, 0, 91, 50);
  }
  song.control(kDrums, 0, 7, 110);
  song.control(kDrums, 0, 91, 30);

  int tick = 0;
  for (const Section& section : plan.sections) {
    composer.section(tick, section);
    tick += section.bars * composer.bar_ticks();
  }
  // Parts the band leaves out are dropped whole.
  for (int channel = 0; channel < 6; ++channel)
    if (programs[channel] < 0) song.tracks[static_cast<std::size_t>(channel)].clear();

  std::vector<std::vector<uint8_t>> chunks;
  chunks.push_back(track_chunk(song.tracks[15], 0));
  for (int channel = 0; channel < 15; ++channel)
    if (!song.tracks[static_cast<std::size_t>(channel)].empty())
      chunks.push_back(track_chunk(song.tracks[static_cast<std::size_t>(channel)], tick));

  std::vector<uint8_t> file{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
  put_be(file, static_cast<uint32_t>(chunks.size()), 2);
  put_be(file, kTicksPerQuarter, 2);
  for (const auto& chunk : chunks) file.insert(file.end(), chunk.begin(), chunk.end());
  return file;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: compose_music OUTPUT_DIRECTORY\n");
    return 2;
  }
  for (std::size_t i = 0; i < kPieces.size(); ++i) {
    const std::vector<uint8_t> file = compose(kPieces[i]);
    char path[4096];
    std::snprintf(path, sizeof path, "%s/mrvnmus%.2zu.mid", argv[1], i);
    std::FILE* out = std::fopen(path, "wb");
    if (!out) return 1;
    const bool ok = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    if (std::fclose(out) != 0 || !ok) return 1;
  }
  return 0;
}
