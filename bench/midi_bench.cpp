// Time from a key going down to its note on reaching a synth: the built program with --midi on a
// JACK server of its own (the dummy driver, at 64 and at 256 frames a period), another window
// holding the focus, keys pressed through XTest at random moments, and a JACK client connected to
// the program's port taking each note on at the start of the cycle that brings it, as a synth
// would. Prints figures; asserts nothing.
//
//   midi_bench [--program FILE]
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "core/note_map.h"
#include "jack_server.h"
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
    ProgramUnderTest tonarium(xvfb,
                              {.soundDrivers = "null", .arguments = {"--midi", "--no-sound"}});
    if (!program.empty())
        fs::copy_file(program, tonarium.folder() / "tonarium",
                      fs::copy_options::overwrite_existing);
    tonarium.Start();
    const bool shown = tonarium.MainWindow() != 0;
    FocusedWindow focus(xvfb.display());
    Display* display = XOpenDisplay(xvfb.display().c_str());
    if (!shown || !recorder.ConnectFrom("Тонариум:Тонариум", 5s) || !display ||
        !focus.HasFocus()) {
        std::printf("skipped: no window, port, or focus elsewhere\n%s", tonarium.Errors().c_str());
        if (display) XCloseDisplay(display);
        return;
    }

    std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<int> gap{150, 350};
    std::vector<Clock::time_point> presses;
    for (int i = 0; i < kPresses; ++i) {
        const int keyCode = core::NoteMap[i % core::kNoteCount].keyCode + 8;
        presses.push_back(Clock::now());
        XTestFakeKeyEvent(display, keyCode, True, CurrentTime);
        XFlush(display);
        std::this_thread::sleep_for(40ms);
        XTestFakeKeyEvent(display, keyCode, False, CurrentTime);
        XFlush(display);
        std::this_thread::sleep_for(std::chrono::milliseconds(gap(random)));
    }
    XCloseDisplay(display);

    // Each press against the first note on that came after it.
    std::vector<double> ms;
    const auto messages = recorder.WaitFor(2 * kPresses + 1, 2s);
    auto message = messages.begin();
    for (const Clock::time_point pressed : presses) {
        while (message != messages.end() &&
               (message->bytes[0] != 0x90 || message->arrival < pressed))
            ++message;
        if (message == messages.end()) break;
        ms.push_back(std::chrono::duration<double, std::milli>(message->arrival - pressed).count());
    }
    if (ms.empty()) {
        std::printf("no note on arrived\n");
        return;
    }
    std::printf("key -> note on at the synth: %s  (%zu of %d)\n", bench::MedianP95Max(ms).c_str(),
                ms.size(), kPresses);
    std::printf("target: within one period + 1 ms = %.2f ms\n", period * 1000.0 / kRate + 1);
    std::printf("machine's load average over a minute: %s before, %s after\n", loadBefore.c_str(),
                bench::LoadAverage().c_str());
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::string program =
        argc == 3 && std::string(argv[1]) == "--program" ? fs::absolute(argv[2]).string() : "";
    std::printf("Key -> MIDI note on: %d presses 190-390 ms apart at random; program: %s\n",
                kPresses, program.empty() ? "this build" : program.c_str());
    for (int period : {64, 256}) Measure(period, program);
}
