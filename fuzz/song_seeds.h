#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace fuzzing {

// Standard MIDI File bytes made by hand, so that they can be made wrong too.
namespace smf {
// An event at a time in pulses from the start of its track.
struct Event {
    std::uint32_t pulses;
    std::string bytes;
};
std::string Bytes(std::initializer_list<int> bytes);
std::string Chunk(const std::string& id, const std::string& body);
std::string Header(int format, int tracks, int division);
// The events in order of time, each after its delta time; an end of track last unless `end` is
// false.
std::string Track(std::vector<Event> events, bool end = true);
std::string Tempo(std::uint32_t microsecondsPerQuarter);
std::string NoteOn(int channel, int pitch, int velocity = 100);
std::string NoteOff(int channel, int pitch);
}  // namespace smf

// One starting input for the song fuzzer.
struct SongSeed {
    std::string name;  // its file name in the corpus
    std::string bytes;
    int notes = 0;  // for a well-formed song, the notes the program must read from it
};

// Songs in every shape the program plays (format 0 and 1, several tracks, tempo changes, chords,
// running status, note on at velocity 0, notes never ended, percussion left out), then broken
// files: cut short anywhere, wrong and huge chunk lengths, unknown formats and timings, tracks
// without their end, events of the wrong length, junk.
std::vector<SongSeed> SongSeeds();

}  // namespace fuzzing
