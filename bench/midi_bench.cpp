// SPDX-License-Identifier: MIT
// Time from a key going down to its note on reaching a synth: the built program with --midi on a
// JACK server of its own (the dummy driver, at 64 and at 256 frames a period), another window
// holding the focus, keys pressed through XTest at random moments, and a JACK client connected to
// the program's port taking each note on in the cycle that brings it, as a synth would. A reference
// client that sends straight from JACK's cycle is timed the same way in the same run; the
// difference is what the program adds. Then the big chord, run after run at 16 frames a period:
// how many notes were lost, and whose loss each was. Run under pw-jack, only the chords, on a
// private PipeWire. Prints figures; asserts nothing.
//
//   midi_bench [--program FILE] [--runs N]   (N chord runs, 30 unless given)
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "core/note_map.h"
#include "jack_server.h"
#include "midi_chords.h"
#include "midi_reference_client.h"
#include "music/notes.h"
#include "percentiles.h"
#include "process_stats.h"
#include "program_under_test.h"

// Xlib last: its macros clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace testing_support;
using Clock = std::chrono::steady_clock;

constexpr int kPresses = 40;
constexpr int kRate = 48000;

struct Asked {
    Clock::time_point at;
    std::uint8_t status;  // the note on's, with its channel
    std::uint8_t number;
};

// Milliseconds from each ask to the first note on of its number after it, within a second; the
// rest count as missed.
std::vector<double> Arrivals(const std::vector<Asked>& asked, std::uint8_t status,
                             const std::vector<JackMidiRecorder::Message>& messages, int& missed) {
    std::vector<double> ms;
    for (const Asked& ask : asked) {
        if (ask.status != status) continue;
        const auto arrived = std::find_if(messages.begin(), messages.end(), [&](const auto& m) {
            return m.bytes.size() == 3 && m.bytes[0] == status && m.bytes[1] == ask.number &&
                   m.arrival >= ask.at && m.arrival < ask.at + 1s;
        });
        if (arrived == messages.end())
            ++missed;
        else
            ms.push_back(
                std::chrono::duration<double, std::milli>(arrived->arrival - ask.at).count());
    }
    return ms;
}

// Both servers up, the JACK server's address exported for the program; else a line says why not.
bool Ready(const JackServer& jack, const Xvfb& xvfb) {
    if (!jack.running() || !xvfb.running()) {
        std::printf("skipped: %s%s\n", jack.error().c_str(), xvfb.failure().c_str());
        return false;
    }
    jack.Export();
    return true;
}

// The program with --midi and without its own sound: the build given, or this one.
std::unique_ptr<ProgramUnderTest> StartProgram(const Xvfb& xvfb, const std::string& program) {
    auto tonarium = std::make_unique<ProgramUnderTest>(
        xvfb, ProgramUnderTest::Options{.sound = ProgramUnderTest::Sound::kNone,
                                        .arguments = {"--midi", "--no-sound"}});
    if (!program.empty())
        fs::copy_file(program, tonarium->folder() / "tonarium",
                      fs::copy_options::overwrite_existing);
    tonarium->Start();
    return tonarium;
}

void Measure(int period, const std::string& program) {
    std::printf("\n== JACK dummy driver, %d frames at %d Hz (%.2f ms a period) ==\n", period, kRate,
                period * 1000.0 / kRate);
    JackServer jack(period, kRate);
    Xvfb xvfb;
    if (!Ready(jack, xvfb)) return;
    const std::string loadBefore = bench::LoadAverage();
    JackMidiRecorder recorder(jack);
    bench::MidiReferenceClient reference(jack);
    const auto started = StartProgram(xvfb, program);
    ProgramUnderTest& tonarium = *started;
    const bool shown = tonarium.MainWindow() != 0;
    FocusedWindow focus(xvfb.display());
    Display* display = XOpenDisplay(xvfb.display().c_str());
    if (!shown || !recorder.ConnectFrom("Тонариум:Тонариум", 5s) || !reference.ready() ||
        !recorder.ConnectFrom(bench::MidiReferenceClient::kPort, 1s) || !display ||
        !focus.HasFocus()) {
        std::printf("skipped: no window, port, reference, or focus elsewhere\n%s",
                    tonarium.Errors().c_str());
        if (display) XCloseDisplay(display);
        return;
    }

    std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<int> gap{150, 350};
    const auto sleepRandomGap = [&] { std::this_thread::sleep_for(1ms * gap(random)); };
    std::vector<Asked> asked;
    for (int i = 0; i < kPresses; ++i) {
        const core::NoteKey key = core::NoteMap[i % core::kNoteCount];
        const auto number = static_cast<std::uint8_t>(music::MidiNumber(key.note));
        asked.push_back({Clock::now(), 0x90, number});
        XTestFakeKeyEvent(display, key.keyCode + 8, True, CurrentTime);
        XFlush(display);
        std::this_thread::sleep_for(40ms);
        XTestFakeKeyEvent(display, key.keyCode + 8, False, CurrentTime);
        XFlush(display);
        sleepRandomGap();
        asked.push_back({reference.NoteOn(number), bench::MidiReferenceClient::kNoteOn, number});
        sleepRandomGap();
    }
    XCloseDisplay(display);

    const auto messages = recorder.WaitFor(3 * kPresses + 1, 2s);
    int missedKeys = 0, missedReferences = 0;
    const auto keys = Arrivals(asked, 0x90, messages, missedKeys);
    const auto references =
        Arrivals(asked, bench::MidiReferenceClient::kNoteOn, messages, missedReferences);
    if (keys.empty() || references.empty()) {
        std::printf("no note on arrived\n");
        return;
    }
    std::printf("key -> note on at the synth:   %s  (%d missed)\n",
                bench::MedianP95Max(keys).c_str(), missedKeys);
    std::printf("reference, straight from JACK: %s  (%d missed)\n",
                bench::MedianP95Max(references).c_str(), missedReferences);
    const double base = bench::Percentile(references, 0.5);
    std::printf(
        "the program's share over the reference's median: median %+.1f  p95 %+.1f  max "
        "%+.1f ms\n",
        bench::Percentile(keys, 0.5) - base, bench::Percentile(keys, 0.95) - base,
        *std::max_element(keys.begin(), keys.end()) - base);
    std::printf("target: within one period + 1 ms = %.2f ms\n", period * 1000.0 / kRate + 1);
    std::printf("machine's load average over a minute: %s before, %s after\n", loadBefore.c_str(),
                bench::LoadAverage().c_str());
}

// The notes of the expected part that did not come, and those that came more often than pressed.
std::pair<std::size_t, std::size_t> Missing(const std::vector<ChordRun::Bytes>& expected,
                                            const std::vector<ChordRun::Bytes>& arrived) {
    std::vector<ChordRun::Bytes> missing, extra;
    std::set_difference(expected.begin(), expected.end(), arrived.begin(), arrived.end(),
                        std::back_inserter(missing));
    std::set_difference(arrived.begin(), arrived.end(), expected.begin(), expected.end(),
                        std::back_inserter(extra));
    return {missing.size(), extra.size()};
}

void Chords(int runs, const std::string& program) {
    constexpr int kPeriod = 16, kKeys = 24;
    JackServer jack(kPeriod, kRate);
    std::printf(
        "\n== Chords on %s at %d frames (%.2f ms a period): %d keys pressed, let go, pressed and "
        "held through SIGTERM, %d runs ==\n",
        jack.Kind(), kPeriod, kPeriod * 1000.0 / kRate, kKeys, runs);
    Xvfb xvfb;
    if (!Ready(jack, xvfb)) return;
    const std::string loadBefore = bench::LoadAverage();
    JackMidiRecorder recorder(jack);
    const ChordRun::Parts expected = ChordRun::Expected(kKeys);
    std::size_t arrived = 0, twice = 0, programs = 0, recorders = 0, missedCycles = 0;
    int played = 0, ended = 0;
    for (int run = 0; run < runs; ++run) {
        const auto started = StartProgram(xvfb, program);
        ProgramUnderTest& tonarium = *started;
        if (!tonarium.MainWindow() || !recorder.ConnectFrom("Тонариум:Тонариум", 5s)) continue;
        FocusedWindow focus(xvfb.display());
        const ChordRun chords = PlayChords(xvfb.display(), tonarium, recorder, kKeys, SIGTERM);
        ++played;
        ended += chords.status == 0;
        for (std::size_t part = 0; part < expected.size(); ++part) {
            const auto [missing, extra] = Missing(expected[part], chords.parts[part]);
            arrived += chords.parts[part].size() - extra;
            twice += extra;
            (chords.missedCycles[part] > 0 ? recorders : programs) += missing;
            missedCycles += chords.missedCycles[part];
        }
    }
    std::printf(
        "notes: %zu expected, %zu arrived, %zu more than once (%d runs played, %d ended "
        "with status 0)\n",
        played * 4 * static_cast<std::size_t>(kKeys), arrived, twice, played, ended);
    std::printf("lost in parts where the recorder took every cycle (the program's loss): %zu\n",
                programs);
    std::printf(
        "lost in parts where it missed a cycle (the recorder's or the server's): %zu; "
        "cycles it missed while the parts came: %zu\n",
        recorders, missedCycles);
    std::printf("machine's load average over a minute: %s before, %s after\n", loadBefore.c_str(),
                bench::LoadAverage().c_str());
}

}  // namespace

int main(int argc, char* argv[]) {
    std::string program;
    int runs = 30;
    for (int at = 1; at + 1 < argc; at += 2) {
        if (std::string(argv[at]) == "--program") program = fs::absolute(argv[at + 1]).string();
        if (std::string(argv[at]) == "--runs") runs = std::atoi(argv[at + 1]);
    }
    if (!JackIsPipeWire()) {
        std::printf(
            "Key -> MIDI note on: %d presses 150-350 ms apart at random, each followed by a "
            "reference note on; program: %s\n",
            kPresses, program.empty() ? "this build" : program.c_str());
        for (int period : {64, 256}) Measure(period, program);
    }
    Chords(runs, program);
}
