// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "jack_server.h"
#include "program_under_test.h"

namespace testing_support {

// The big chord: the first `keys` keys of the note map pressed at once through XTest, let go,
// pressed again and held while the program is ended by a signal. What reaches the recorder in
// each of the four parts: note ons, note offs, note ons, and the note offs of the ending.
struct ChordRun {
    using Bytes = std::vector<std::uint8_t>;
    using Parts = std::array<std::vector<Bytes>, 4>;

    Parts parts;  // the note messages of each part, sorted
    // The cycles the recorder missed during each part: a part that lost notes without missing
    // one lost them in the program.
    std::array<unsigned, 4> missedCycles{};
    Exit status;  // how the program ended

    // What the four parts ought to bring, on channel 1 at velocity 100.
    static Parts Expected(int keys);
};

// The program shown and the recorder connected to its port, the chord is played on the display
// and the program ended with `signal`.
ChordRun PlayChords(const std::string& display, ProgramUnderTest& program,
                    JackMidiRecorder& recorder, int keys, int signal);

}  // namespace testing_support
