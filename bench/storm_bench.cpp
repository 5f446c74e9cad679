// SPDX-License-Identifier: MIT
// How often the program's sound output falls behind (an underflow, an xrun, a missed cycle: a gap
// in the sound each) through a minute of key storms with both cores kept busy, on private
// servers: its PipeWire stream on PipeWire, its PulseAudio stream on PulseAudio, and ALSA through
// its PulseAudio plug-in. The counts are the program's own, from the lines it says on standard
// error (the rest as it ends). The target is none.
//   storm_bench [--seconds S] [--only PipeWire|PulseAudio|ALSA]
// scripts/bench.sh storms runs it.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "core/note_map.h"
#include "process_stats.h"
#include "program_under_test.h"

// Xlib last: its macros clash with Qt's names.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace {

using namespace std::chrono_literals;
using namespace testing_support;
using Clock = std::chrono::steady_clock;

// The X names of the note keys on the virtual X server (keycode = scan code + 8).
std::vector<std::string> NoteKeyNames(const Xvfb& xvfb) {
    std::vector<std::string> names;
    Display* display = XOpenDisplay(xvfb.display().c_str());
    if (!display) return names;
    for (const core::NoteKey& key : core::NoteMap)
        if (const char* name = XKeysymToString(XkbKeycodeToKeysym(display, key.keyCode + 8, 0, 0)))
            names.push_back(name);
    XCloseDisplay(display);
    return names;
}

// Two processes that keep both cores busy, ended by their ids.
class BusyCores {
  public:
    BusyCores() {
        for (pid_t& pid : pids_) pid = StartInGroup({"yes"}, EnvironmentWith({}), "/dev/null");
    }
    ~BusyCores() {
        for (pid_t pid : pids_) EndGroup(pid, SIGKILL);
    }

  private:
    pid_t pids_[2];
};

// Up to ten keys pressed one after another and held, some struck again while held, a few quick
// taps of others, then all let go, as scripts/soak/storms.sh plays them. The presses it made.
int Storm(ProgramUnderTest& program, const std::vector<std::string>& keys, std::mt19937& random) {
    const auto key = [&] { return keys[random() % keys.size()].c_str(); };
    const auto pause = [&](int most) { std::this_thread::sleep_for(1ms * (random() % most)); };
    std::vector<const char*> held;
    for (int n = 1 + random() % 10; n > 0; --n) {
        held.push_back(key());
        program.Key(held.back(), true);
        pause(40);
    }
    int taps = random() % 6;
    for (int n = taps; n > 0; --n) {
        const char* tapped = key();
        program.Key(tapped, true);
        std::this_thread::sleep_for(10ms);
        program.Key(tapped, false);
        pause(30);
    }
    pause(300);
    for (const char* name : held) program.Key(name, false);
    return static_cast<int>(held.size()) + taps;
}

// The periods the program's lines say its output fell behind by: «fell behind once», «fell
// behind 3 times», «… 2 more times».
int FellBehind(const std::string& said) {
    static const std::regex line("fell behind (once|([0-9]+)( more)? times)");
    int total = 0;
    for (std::sregex_iterator at(said.begin(), said.end(), line), end; at != end; ++at)
        total += (*at)[2].matched ? std::stoi((*at)[2]) : 1;
    return total;
}

struct Case {
    const char* name;
    SoundServer::Kind server;
    std::vector<std::string> arguments;
};

void Run(const Case& test, const Xvfb& xvfb, double seconds) {
    SoundServer server(test.server);
    if (!server.running()) {
        std::printf("%-26s the server did not start: %s\n", test.name, server.error().c_str());
        return;
    }
    server.Export();
    ProgramUnderTest program(
        xvfb, {.sound = ProgramUnderTest::Sound::kTestsServer, .arguments = test.arguments});
    program.Start();
    if (!program.MainWindow()) {
        std::printf("%-26s the program did not come up: %s\n", test.name, program.Errors().c_str());
        return;
    }
    const FocusedWindow other(xvfb.display());
    const std::vector<std::string> keys = NoteKeyNames(xvfb);
    if (keys.empty()) {
        std::printf("%-26s the virtual X server has no note keys\n", test.name);
        return;
    }
    std::mt19937 random(7);
    int presses = 0;
    const BusyCores busy;
    const std::string load = bench::LoadAverage();
    for (const auto until = Clock::now() + std::chrono::duration<double>(seconds);
         Clock::now() < until;)
        presses += Storm(program, keys, random);
    const std::string lastLoad = bench::LoadAverage();
    program.Quit();
    const std::string said = program.Errors();
    std::printf("%-26s %5d presses in %.0f s: fell behind %d times (load %s to %s)\n", test.name,
                presses, seconds, FellBehind(said), load.c_str(), lastLoad.c_str());
    const std::regex lost("[^\n]* is lost[^\n]*|no sound output[^\n]*");
    const auto first = std::sregex_iterator(said.begin(), said.end(), lost);
    if (const auto count = std::distance(first, std::sregex_iterator()); count > 0)
        std::printf("  and its output was lost %ld times; the first: %s\n",
                    static_cast<long>(count), first->str().c_str());
}

}  // namespace

int main(int argc, char* argv[]) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    double seconds = 60;
    std::string only;
    for (int at = 1; at + 1 < argc; ++at) {
        const std::string option = argv[at];
        if (option == "--seconds") seconds = std::atof(argv[++at]);
        if (option == "--only") only = argv[++at];
    }
    Xvfb xvfb;
    if (!xvfb.running()) {
        std::printf("no virtual X server: %s\n", xvfb.failure().c_str());
        return 1;
    }
    std::printf(
        "key storms with both cores busy; the program's output falling behind (target: 0)\n");
    const Case cases[] = {
        {"PipeWire stream", SoundServer::Kind::kPipeWire, {}},
        {"PulseAudio stream", SoundServer::Kind::kPulseAudio, {}},
        {"ALSA, PulseAudio plug-in", SoundServer::Kind::kPulseAudio, {"--sound", "alsa"}},
    };
    for (const Case& test : cases)
        if (std::string(test.name).starts_with(only)) Run(test, xvfb, seconds);
}
