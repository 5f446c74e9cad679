// SPDX-License-Identifier: MIT
#include "midi_chords.h"

#include <algorithm>

#include "core/note_map.h"
#include "music/notes.h"

// Xlib last: its macros clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace testing_support {

namespace {

using namespace std::chrono_literals;

constexpr int kXKeycodeOffset = 8;

// When the keys were pressed or let go.
JackMidiRecorder::Clock::time_point PressAll(Display* display, int keys, bool down) {
    const auto now = JackMidiRecorder::Clock::now();
    for (int i = 0; i < keys; ++i)
        XTestFakeKeyEvent(display, core::NoteMap[i].keyCode + kXKeycodeOffset, down, CurrentTime);
    XFlush(display);
    return now;
}

bool IsNote(const ChordRun::Bytes& bytes) {
    return bytes.size() == 3 && (bytes[0] & 0xE0) == 0x80;  // note off or note on
}

}  // namespace

ChordRun::Parts ChordRun::Expected(int keys) {
    Parts parts;
    for (std::size_t part = 0; part < parts.size(); ++part) {
        const bool on = part % 2 == 0;
        for (int i = 0; i < keys; ++i) {
            const int number = music::MidiNumber(core::NoteMap[i].note);
            parts[part].push_back(on ? Bytes{0x90, std::uint8_t(number), 100}
                                     : Bytes{0x80, std::uint8_t(number), 64});
        }
        std::sort(parts[part].begin(), parts[part].end());
    }
    return parts;
}

ChordRun PlayChords(const std::string& display, ProgramUnderTest& program,
                    JackMidiRecorder& recorder, int keys, int signal) {
    using Clock = JackMidiRecorder::Clock;
    ChordRun run;
    Display* x = XOpenDisplay(display.c_str());
    if (!x) return run;
    std::size_t from = recorder.WaitFor(0, 0ms).size();
    const auto takePart = [&](std::size_t part, Clock::time_point asked) {
        auto recorded = recorder.WaitFor(0, 0ms);
        const auto notes = [&] {
            return std::count_if(recorded.begin() + from, recorded.end(),
                                 [](const auto& m) { return IsNote(m.bytes); });
        };
        // The part is over once its notes are in, or when nothing more came for 2 s.
        while (notes() < keys) {
            const std::size_t seen = recorded.size();
            recorded = recorder.WaitFor(seen + 1, 2s);
            if (recorded.size() == seen) break;
        }
        Clock::time_point last = asked + 2s;
        for (auto m = recorded.begin() + from; m != recorded.end(); ++m) {
            if (!IsNote(m->bytes)) continue;
            run.parts[part].push_back(m->bytes);
            last = m->arrival;
        }
        std::sort(run.parts[part].begin(), run.parts[part].end());
        from = recorded.size();
        // A part's notes leave the program within a few cycles: a cycle missed from the ask to
        // shortly after the last of them came may have carried some.
        const auto& missed = recorder.missedCycles();
        run.missedCycles[part] = std::count_if(missed.begin(), missed.end(), [&](auto at) {
            return at >= asked && at <= last + 50ms;
        });
    };
    takePart(0, PressAll(x, keys, true));
    takePart(1, PressAll(x, keys, false));
    takePart(2, PressAll(x, keys, true));
    const auto ending = Clock::now();
    run.status = program.EndWith(signal);
    takePart(3, ending);
    PressAll(x, keys, false);
    XCloseDisplay(x);
    return run;
}

}  // namespace testing_support
