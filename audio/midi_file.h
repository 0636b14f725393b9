// A check of standard MIDI files before they are handed to the synthesizer.
#pragma once

#include <cstddef>
#include <cstdint>

// True when the bytes start with a well-formed "MThd" header (format 0 to 2,
// at least one track, a non-zero division) followed by as many "MTrk" chunks
// as the header declares, every chunk lying wholly inside the bytes. Chunks
// of other types between them are skipped.
bool is_standard_midi_file(const uint8_t* bytes, std::size_t size);
