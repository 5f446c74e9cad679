// SPDX-License-Identifier: MIT
// A long run on a private PipeWire, restarted every few minutes, with MIDI out on through
// PipeWire's JACK library: rounds of key presses while another window has the focus, each press
// counted as heard (the sink's monitor) and as sent (a JACK MIDI recorder on the program's port),
// and the program's memory, open files and threads sampled round by round.
//   pw-jack soak_bench [--minutes M] [--restart-every S] [--no-midi] [--check]
// scripts/bench.sh soak runs an hour; the test suite runs a short one with --check, which ends
// with status 1 when a press was heard more than once, not heard without the program saying it
// dropped it (its sound came too late for it), not sent exactly once, or files or threads grew.
#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "core/note_map.h"
#include "jack_server.h"
#include "process_stats.h"
#include "program_under_test.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace testing_support;
using Clock = std::chrono::steady_clock;

constexpr auto kNote = 50ms;  // each sample's length: presses apart are heard apart
constexpr auto kGap = 150ms;  // between two presses
constexpr int kPressesARound = 20;
constexpr const char* kPort = "Тонариум:Тонариум";
const char* const kKeys[] = {"1", "q", "a", "5", "t", "g", "0", "p", "semicolon", "backslash"};

struct Usage {
    long rssKb = 0;
    int files = 0;
    int threads = 0;
};

Usage UsageOf(pid_t pid) {
    Usage usage;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) usage.rssKb = std::atol(line.c_str() + 6);
        if (line.rfind("Threads:", 0) == 0) usage.threads = std::atoi(line.c_str() + 8);
    }
    std::error_code error;
    for (fs::directory_iterator file("/proc/" + std::to_string(pid) + "/fd", error), end;
         file != end; file.increment(error))
        ++usage.files;
    return usage;
}

// Bursts of sound heard between the two moments, each a note: sound within most of a gap after a
// note's start is that note's, split by a dropout of a server just started.
int BurstsHeard(const HeardSound& heard, Clock::time_point since, Clock::time_point until) {
    int bursts = 0;
    for (auto at = since;;) {
        const auto onset = heard.FirstSoundAfter(at, until);
        if (!onset) return bursts;
        ++bursts;
        at = *onset + kGap - 30ms;
    }
}

int NoteOnsSent(const std::vector<JackMidiRecorder::Message>& messages, Clock::time_point since,
                Clock::time_point until) {
    return static_cast<int>(std::count_if(messages.begin(), messages.end(), [&](const auto& m) {
        return m.arrival >= since && m.arrival < until && (m.bytes[0] & 0xF0) == 0x90;
    }));
}

struct Totals {
    int rounds = 0, presses = 0, heard = 0, sent = 0, badRounds = 0, restarts = 0;
    int unheard = 0;           // presses not heard, which the program must have said it dropped
    int recorderMissed = 0;    // rounds in which the recorder missed a cycle
    double slowestReturn = 0;  // seconds from a restart to the sound and the port both back
};

class Soak {
  public:
    Soak(JackServer& jack, const Xvfb& xvfb, bool midi) : jack_(jack), xvfb_(xvfb), midi_(midi) {}

    // The program and the recorders; false when any is missing.
    bool Start() {
        program_.emplace(xvfb_, ProgramUnderTest::Options{
                                    .writeLibrary = false,
                                    .sound = ProgramUnderTest::Sound::kTestsServer,
                                    .arguments = midi_ ? std::vector<std::string>{"--midi", "jack"}
                                                       : std::vector<std::string>{}});
        fs::create_directories(program_->folder() / "wav/piano");
        const auto seconds = std::chrono::duration<double>(kNote).count();
        for (int note = 0; note <= core::kNoteCount; ++note)
            WriteToneWav(
                (program_->folder() / "wav/piano" / (std::to_string(note) + ".wav")).string(),
                {.frequency = NoteFrequency(std::max(note, 1)),
                 .seconds = note == 0 ? 0.1 : seconds,
                 .amplitude = note == 0 ? 0.0 : 0.5});
        program_->Start();
        if (!program_->MainWindow()) return false;
        focus_.emplace(xvfb_.display());
        return Reconnect(10s);
    }
    // After a restart: recorders on the new server, and the program back on both.
    bool Reconnect(Clock::duration limit) {
        recorder_.reset();
        monitor_.reset();
        monitor_.emplace(*jack_.sound());
        recorder_.emplace(jack_);
        if (midi_ && !recorder_->ConnectFrom(
                         kPort, std::chrono::duration_cast<std::chrono::milliseconds>(limit)))
            return false;
        const auto until = Clock::now() + limit;
        while (Clock::now() < until) {
            const auto since = Clock::now();
            program_->Key("q", true);
            program_->Key("q", false);
            if (monitor_->WaitForSound(since, 200ms)) return true;
        }
        return false;
    }
    // One round of presses, then what was heard and sent of it.
    void Round(Totals& totals) {
        std::this_thread::sleep_for(300ms);  // the probe's notes are over
        const auto since = Clock::now();
        for (int press = 0; press < kPressesARound; ++press) {
            const char* key = kKeys[(totals.presses + press) % std::size(kKeys)];
            program_->Key(key, true);
            std::this_thread::sleep_for(20ms);
            program_->Key(key, false);
            std::this_thread::sleep_until(since + (press + 1) * kGap);
        }
        std::this_thread::sleep_for(200ms);
        const auto until = Clock::now();
        const int heard = BurstsHeard(*monitor_, since, until);
        const int sent = NoteOnsSent(recorder_->WaitFor(0, 0ms), since, until);
        // A recorder that missed a server cycle missed what the port sent in it (see
        // JackMidiRecorder): such a round says nothing of what was sent.
        const auto& missed = recorder_->missedCycles();
        const bool recorderMissed = std::any_of(missed.begin(), missed.end(),
                                                [&](auto at) { return at >= since && at < until; });
        totals.rounds += 1;
        totals.presses += kPressesARound;
        totals.heard += heard;
        totals.sent += sent;
        totals.recorderMissed += recorderMissed;
        totals.unheard += std::max(kPressesARound - heard, 0);
        totals.badRounds +=
            heard > kPressesARound || (midi_ && sent != kPressesARound && !recorderMissed);
    }
    Usage Now() const { return UsageOf(program_->Pid()); }
    // Ends the program and counts the notes it said it dropped, its sound late for them (a note
    // no output played within 100 ms is dropped rather than heard late).
    int EndAndCountDropped() {
        program_->EndWith(SIGTERM);
        int dropped = 0;
        std::istringstream lines(program_->Errors());
        for (std::string line; std::getline(lines, line);)
            if (line.find(" dropped: no output played") != std::string::npos)
                dropped += std::atoi(line.c_str() + line.find(": ") + 2);
        return dropped;
    }
    std::string Errors() const { return program_->Errors(); }
    bool Running() { return program_->Running(); }

  private:
    JackServer& jack_;
    const Xvfb& xvfb_;
    const bool midi_;
    std::optional<ProgramUnderTest> program_;
    std::optional<FocusedWindow> focus_;
    std::optional<MonitorRecorder> monitor_;
    std::optional<JackMidiRecorder> recorder_;
};

}  // namespace

int main(int argc, char* argv[]) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as it comes, into a log too
    double minutes = 60, restartEvery = 180;
    bool check = false, midi = true;
    for (int at = 1; at < argc; ++at) {
        const std::string option = argv[at];
        if (option == "--minutes" && at + 1 < argc) minutes = std::atof(argv[++at]);
        if (option == "--restart-every" && at + 1 < argc) restartEvery = std::atof(argv[++at]);
        if (option == "--check") check = true;
        if (option == "--no-midi") midi = false;
    }
    if (!JackIsPipeWire()) {
        std::printf("run it under pw-jack (package pipewire-jack): it soaks PipeWire's JACK\n");
        return check ? 1 : 0;
    }
    JackServer jack(256);
    Xvfb xvfb;
    if (!jack.running() || !xvfb.running()) {
        std::printf("no private PipeWire or no virtual X server: %s\n", jack.error().c_str());
        return check ? 1 : 0;
    }
    jack.Export();
    jack.sound()->Export();
    Soak soak(jack, xvfb, midi);
    if (!soak.Start()) {
        std::printf("the program did not come up on the server\n");
        return 1;
    }
    std::printf("soak: %.1f min, PipeWire restarted every %.0f s, %d presses a round (load %s)\n",
                minutes, restartEvery, kPressesARound, bench::LoadAverage().c_str());
    const Usage first = soak.Now();
    Usage most = first, last = first;
    Totals totals;
    const auto start = Clock::now();
    auto nextRestart = start + std::chrono::duration<double>(restartEvery);
    while (Clock::now() < start + std::chrono::duration<double>(minutes * 60)) {
        if (Clock::now() >= nextRestart) {
            const auto restarted = Clock::now();
            jack.Start();  // stops the server, then starts a new one at the same address
            if (!soak.Reconnect(20s)) {
                std::printf("soak: the program did not come back after restart %d; it said:\n%s",
                            totals.restarts + 1, soak.Errors().c_str());
                return 1;
            }
            totals.slowestReturn =
                std::max(totals.slowestReturn,
                         std::chrono::duration<double>(Clock::now() - restarted).count());
            ++totals.restarts;
            nextRestart = Clock::now() + std::chrono::duration<double>(restartEvery);
        }
        soak.Round(totals);
        if (!soak.Running()) {
            std::printf("soak: the program ended by itself\n");
            return 1;
        }
        last = soak.Now();
        most = {std::max(most.rssKb, last.rssKb), std::max(most.files, last.files),
                std::max(most.threads, last.threads)};
        if (totals.rounds % 20 == 0)
            std::printf("soak: %4.0f s  rss %ld KiB  files %d  threads %d  presses %d\n",
                        std::chrono::duration<double>(Clock::now() - start).count(), last.rssKb,
                        last.files, last.threads, totals.presses);
    }
    const int dropped = soak.EndAndCountDropped();
    std::printf(
        "soak: %d presses in %d rounds: %d heard, %d dropped as late by the program, %d note ons "
        "sent (the recorder missed cycles in %d rounds); rounds off %d; %d restarts, sound and "
        "port back within %.2f s at the slowest\n",
        totals.presses, totals.rounds, totals.heard, dropped, totals.sent, totals.recorderMissed,
        totals.badRounds, totals.restarts, totals.slowestReturn);
    std::printf(
        "soak: rss %ld KiB at start, %ld at end, %ld at most; open files %d, %d, %d; "
        "threads %d, %d, %d\n",
        first.rssKb, last.rssKb, most.rssKb, first.files, last.files, most.files, first.threads,
        last.threads, most.threads);
    const bool flat = last.files <= first.files + 2 && last.threads <= first.threads + 2;
    return check && (totals.badRounds > 0 || totals.unheard > dropped || !flat) ? 1 : 0;
}
