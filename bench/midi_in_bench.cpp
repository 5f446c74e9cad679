// SPDX-License-Identifier: MIT
// Time from a note on reaching the program's MIDI input to its sound, beside the same notes played
// on the computer keyboard: the built program with --midi on a private JACK server and its sound
// on a private sound server whose sink's monitor is recorded to time every onset. A device's port,
// which the program connects by itself, plays a note on at random moments, each timed by the
// cycle that carried it to the input; between them keys are pressed through XTest while another
// window has the focus, each timed as it is sent. On jackd (the dummy driver) with PulseAudio, or,
// run under pw-jack, on one private PipeWire for both, recorded natively. Prints figures; asserts
// nothing.
//
//   midi_in_bench [--program FILE]
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "core/note_map.h"
#include "jack_server.h"
#include "music/notes.h"
#include "onset_series.h"
#include "percentiles.h"
#include "pipewire_recorder.h"
#include "poll_until.h"
#include "process_stats.h"
#include "program_under_test.h"

// Xlib last: its macros clash with Qt's names.
#include <X11/Xlib.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace testing_support;
using namespace bench;

constexpr int kPresses = 40;
constexpr int kRate = 48000;
// The period the program's PipeWire stream asks for, so that both servers run at it.
constexpr int kPeriod = 128;

enum SeriesId { kMidi, kKey };

void Measure(const std::string& programFile) {
    JackServer jack(kPeriod, kRate);
    // PipeWire plays the program's sound too; beside jackd, a PulseAudio of its own does.
    std::optional<SoundServer> pulse;
    if (!jack.sound()) pulse.emplace(SoundServer::Kind::kPulseAudio, kRate);
    const SoundServer& sound = jack.sound() ? *jack.sound() : *pulse;
    std::printf("\n== MIDI on %s, sound on %s, %d frames at %d Hz (%.2f ms a period) ==\n",
                jack.Kind(), sound.Name(), kPeriod, kRate, kPeriod * 1000.0 / kRate);
    Xvfb xvfb;
    if (!jack.running() || !sound.running() || !xvfb.running()) {
        std::printf("skipped: %s%s%s\n", jack.error().c_str(), sound.error().c_str(),
                    xvfb.failure().c_str());
        return;
    }
    const std::string loadBefore = LoadAverage();
    jack.Export();
    sound.Export();
    std::optional<PipeWireRecorder> native;
    std::optional<MonitorRecorder> monitor;
    if (jack.sound())
        native.emplace(sound, kPeriod);
    else
        monitor.emplace(sound);
    const HeardSound& recorder = native ? static_cast<const HeardSound&>(*native) : *monitor;
    ProgramUnderTest program(
        xvfb, {.writeLibrary = false,
               .sound = ProgramUnderTest::Sound::kTestsServer,
               .arguments = {"--midi", "--sound", jack.sound() ? "pipewire" : "pulse"}});
    WriteShortNotes(program.folder());
    if (!programFile.empty())
        fs::copy_file(programFile, program.folder() / "tonarium",
                      fs::copy_options::overwrite_existing);
    program.Start();
    const bool shown = program.MainWindow() != 0;
    FocusedWindow focus(xvfb.display());
    JackMidiSender device(jack, "device", true);
    Display* display = XOpenDisplay(xvfb.display().c_str());
    if (!shown || !display || !focus.HasFocus() ||
        !PollUntil([&] { return device.ConnectedTo("Тонариум:вход"); }, 5)) {
        std::printf("skipped: no window, focus elsewhere or device connected\n%s",
                    program.Errors().c_str());
        if (display) XCloseDisplay(display);
        return;
    }

    // Warm up: the first notes open the program's stream on the server.
    for (int note = 1; note <= 3; ++note)
        PressKey(display, note), std::this_thread::sleep_for(300ms);
    std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<int> gap{150, 350};
    const auto sleepRandomGap = [&] { std::this_thread::sleep_for(1ms * gap(random)); };
    std::vector<Event> events;
    for (int i = 0; i < kPresses; ++i) {
        const int note = 1 + i * 7 % core::kNoteCount;
        const auto pitch = static_cast<std::uint8_t>(music::MidiNumber(note));
        device.Send({{0x90, pitch, 100}});
        PollUntil([&] { return !device.pending; }, 1, 1ms);  // a cycle has taken it
        events.push_back({device.SentAt(), kMidi});
        std::this_thread::sleep_for(40ms);
        device.Send({{0x80, pitch, 64}});
        sleepRandomGap();
        events.push_back({PressKey(display, note), kKey});
        sleepRandomGap();
    }
    XCloseDisplay(display);

    const Series midi = Onsets(events, kMidi, recorder), keys = Onsets(events, kKey, recorder);
    std::printf("timed by the %s recorder:\n", native ? "native PipeWire" : "PulseAudio-protocol");
    std::printf("  MIDI in -> sound:  %s\n", Describe(midi).c_str());
    std::printf("  key -> sound:      %s\n", Describe(keys).c_str());
    for (const Series* series : {&midi, &keys})
        if (series->missed) std::printf("  missed:%s\n", series->misses.c_str());
    if (midi.ms.empty() || keys.ms.empty()) return;
    std::printf("  MIDI over the key's median: %s\n", Overhead(midi, keys).c_str());
    // The output's own latency: PipeWire plays a quantum ahead, the PulseAudio stream queues 4 ms.
    const double period = kPeriod * 1000.0 / kRate, output = jack.sound() ? period : 4;
    std::printf(
        "  target: within one period + the output's latency (%.2f ms) of the key's figure: "
        "median %.1f ms, p95 %.1f ms\n",
        period + output, Percentile(keys.ms, 0.5) + period + output,
        Percentile(keys.ms, 0.95) + period + output);
    std::printf("machine's load average over a minute: %s before, %s after\n", loadBefore.c_str(),
                LoadAverage().c_str());
}

}  // namespace

int main(int argc, char* argv[]) {
    std::string program;
    for (int at = 1; at + 1 < argc; at += 2)
        if (std::string(argv[at]) == "--program") program = fs::absolute(argv[at + 1]).string();
    std::printf(
        "MIDI in -> sound beside key -> sound: %d note ons and %d key presses, 150-350 ms apart "
        "at random; program: %s\n",
        kPresses, kPresses, program.empty() ? "this build" : program.c_str());
    Measure(program);
}
