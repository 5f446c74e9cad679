// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "sound_server.h"

typedef struct _XDisplay Display;

namespace bench {

// Writes a piano of notes short enough to have died away before the next press, so that every
// onset stands clear, into folder/wav.
void WriteShortNotes(const std::filesystem::path& folder);

// Presses the note's key through XTest and lets it go 40 ms later; the moment it went down.
std::chrono::steady_clock::time_point PressKey(Display* display, int note);

// Something that should be heard: a key press or a reference burst, in one of several series.
struct Event {
    std::chrono::steady_clock::time_point at;
    int series;
};

// Milliseconds from each event of one series to its onset; events with no onset count as missed.
struct Series {
    std::vector<double> ms;
    int missed = 0;
    std::string misses;  // for each: its place in the run, and the next sound within a second
};

// Each event of `series` to the first sound the recorder heard after it, up to the next event
// of any series: a note that comes later than that is as good as lost.
Series Onsets(const std::vector<Event>& events, int series,
              const testing_support::HeardSound& recorder);

// "median  p95  max ms  (heard, missed)"
std::string Describe(const Series& series);
// The series' median, p95 and max less the reference's median: what it adds to the server's own
// share. Empty when either was not heard.
std::string Overhead(const Series& series, const Series& reference);

}  // namespace bench
