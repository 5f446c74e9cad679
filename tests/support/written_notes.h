// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// A note of a MIDI file as portSMF reads it: another reader than the program's.
struct WrittenNote {
    double time;  // seconds
    double duration;
    int pitch;
    int channel;  // 0..15
    int velocity;
};

// The notes of the file in the order they start; empty, with `error` set, when portSMF cannot
// read it.
std::vector<WrittenNote> ReadWrittenNotes(const std::string& path, std::string* error = nullptr);

}  // namespace testing_support
