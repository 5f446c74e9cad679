// Time from a key going down to its note on reaching a synth: the built program with --midi on a
// JACK server of its own (the dummy driver, at 64 and at 256 frames a period), another window
// holding the focus, keys pressed through XTest at random moments, and a JACK client connected to
// the program's port taking each note on in the cycle that brings it, as a synth would. A reference
// client that sends straight from JACK's cycle is timed the same way in the same run; the
// difference is what the program adds. Prints figures; asserts nothing.
//
//   midi_bench [--program FILE]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "core/note_map.h"
#include "jack_server.h"
#include "midi_reference_client.h"
#include "percentiles.h"
#include "platform/midi/midi.h"
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

void Measure(int period, const std::string& program) {
    std::printf("\n== JACK dummy driver, %d frames at %d Hz (%.2f ms a period) ==\n", period, kRate,
                period * 1000.0 / kRate);
    JackServer jack(period, kRate);
    Xvfb xvfb;
    if (!jack.running() || !xvfb.running()) {
        std::printf("skipped: %s%s\n", jack.error().c_str(), xvfb.failure().c_str());
        return;
    }
    const std::string loadBefore = bench::LoadAverage();
    jack.Export();
    JackMidiRecorder recorder(jack);
    bench::MidiReferenceClient reference(jack);
    ProgramUnderTest tonarium(
        xvfb, {.sound = ProgramUnderTest::Sound::kNone, .arguments = {"--midi", "--no-sound"}});
    if (!program.empty())
        fs::copy_file(program, tonarium.folder() / "tonarium",
                      fs::copy_options::overwrite_existing);
    tonarium.Start();
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
        const auto number =
            static_cast<std::uint8_t>(key.note + platform::MidiKeyboard::kNoteNumberOffset);
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

}  // namespace

int main(int argc, char* argv[]) {
    const std::string program =
        argc == 3 && std::string(argv[1]) == "--program" ? fs::absolute(argv[2]).string() : "";
    std::printf(
        "Key -> MIDI note on: %d presses 150-350 ms apart at random, each followed by a "
        "reference note on; program: %s\n",
        kPresses, program.empty() ? "this build" : program.c_str());
    for (int period : {64, 256}) Measure(period, program);
}
