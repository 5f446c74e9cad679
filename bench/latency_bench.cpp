// SPDX-License-Identifier: MIT
// Time from a key going down to its note being heard, on a real sound server: the built program
// under a virtual X server, another window holding the focus, keys pressed through XTest at
// random moments, the server's null sink recorded to time every onset. Clients that write straight
// to the same server are timed the same way in the same run: one over the PulseAudio protocol
// with a 5 ms buffer and, on PipeWire, a native stream at the quantum the program asks for; the
// difference is what the program adds. Also the first note after silence, the program's CPU, the
// graph's quantum on PipeWire and the start-up time. Prints figures; asserts nothing.
//
//   latency_bench [--server pulseaudio|pipewire] [--program FILE] [--arguments "ARGS"]
//                 [--config alsoft.conf] [--sink-rate HZ] [--quanta 64,128]
//                 [--recorder-quantum FRAMES]
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "onset_series.h"
#include "pipewire_nodes.h"
#include "pipewire_recorder.h"
#include "pipewire_reference_client.h"
#include "process_stats.h"
#include "program_under_test.h"
#include "reference_client.h"
#include "sound_server.h"
#include "startup_timing.h"

// Xlib last: its macros clash with Qt's names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using namespace testing_support;
using namespace bench;

constexpr int kPresses = 40;
constexpr int kBurstsAlone = 30;
constexpr int kPressesAfterSilence = 3;
constexpr auto kSilence = 12s;
// PipeWire's largest quantum: a recorder asking for it leaves the graph's quantum to the others.
constexpr int kMaxQuantum = 2048;

struct Settings {
    std::vector<SoundServer::Kind> servers{SoundServer::Kind::kPulseAudio,
                                           SoundServer::Kind::kPipeWire};
    std::string program;  // empty: the one built beside this benchmark
    std::vector<std::string> arguments;
    std::string config;  // empty: the shipped alsoft.conf
    int sinkRate = 48000;
    std::vector<int> quanta{64, 128};  // of the native client timed alone, on PipeWire
    // What the native recorder asks of the graph; 0: the quantum of what it times, so that the
    // graph runs as it would for that alone and stays there when the program pauses.
    int recorderQuantum = 0;
};

enum SeriesId { kKey, kPulseReference, kNativeReference, kKeyAfterSilence, kNativeAlone };

pid_t WindowPid(Display* display, unsigned long window) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, remaining = 0;
    unsigned char* data = nullptr;
    pid_t pid = -1;
    if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), 0, 1, False,
                           XA_CARDINAL, &type, &format, &items, &remaining, &data) == Success &&
        data && items == 1)
        pid = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data));
    if (data) XFree(data);
    return pid;
}

double CpuPercentOver(pid_t pid, Clock::duration span) {
    const double before = ProcessCpuSeconds(pid);
    const auto start = Clock::now();
    std::this_thread::sleep_for(span);
    return (ProcessCpuSeconds(pid) - before) /
           std::chrono::duration<double>(Clock::now() - start).count() * 100;
}

// The graph's quantum as the native recorder saw it between two moments: "256", or "64-256"
// when it changed.
std::string Quantum(const HeardSound& recorder, Clock::time_point since, Clock::time_point until) {
    const auto [fewest, most] = recorder.ChunkFrames(since, until);
    if (most == 0) return "unknown";
    return fewest == most ? std::to_string(most)
                          : std::to_string(fewest) + "-" + std::to_string(most);
}

class Run {
  public:
    Run(SoundServer::Kind kind, const Settings& settings)
        : kind_(kind), server_(kind, settings.sinkRate), settings_(settings) {}
    void Measure();

  private:
    bool pipewire() const { return nativeRecorder_.has_value(); }
    Clock::time_point Press(int note) { return PressKey(display_, note); }
    void SleepRandomGap() { std::this_thread::sleep_for(std::chrono::milliseconds(gap_(random_))); }
    std::optional<PipeWireNode> ProgramStream(pid_t pid) const;
    // The frames a cycle the program's stream asks the graph for, read while it plays.
    int ProgramQuantum(pid_t pid, Clock::time_point playingSince);
    void PrintTimedBy(const char* recorderName, const HeardSound& recorder, int quantum) const;
    void PrintAfterSilence() const;
    void TimeNativeClientAlone();
    // Sets the native recorder's quantum to the one timed next, unless it was given.
    void AskQuantum(int quantum) {
        if (settings_.recorderQuantum) return;
        nativeRecorder_->AskQuantum(quantum);
        askedQuantum_ = quantum;
    }

    const SoundServer::Kind kind_;
    SoundServer server_;
    const Settings& settings_;
    std::optional<PipeWireRecorder> nativeRecorder_;
    int askedQuantum_ = 0;  // by the native recorder
    std::optional<MonitorRecorder> pulseRecorder_;
    Display* display_ = nullptr;
    std::vector<Event> events_;
    std::mt19937 random_{std::random_device{}()};
    std::uniform_int_distribution<int> gap_{150, 350};
};

std::optional<PipeWireNode> Run::ProgramStream(pid_t pid) const {
    for (const PipeWireNode& node : DumpNodes(server_.PipeWireRemote()))
        if (node.pid == pid && node.mediaClass == "Stream/Output/Audio") return node;
    return std::nullopt;
}

int Run::ProgramQuantum(pid_t pid, Clock::time_point playingSince) {
    if (const auto stream = ProgramStream(pid)) {
        std::printf("program's stream (pw-dump): %s, node.latency %s, %s\n", stream->name.c_str(),
                    stream->latency.empty() ? "not set" : stream->latency.c_str(),
                    stream->state.c_str());
        if (const int frames = LatencyFrames(stream->latency, server_.sinkRate())) return frames;
    }
    const int frames =
        static_cast<int>(nativeRecorder_->ChunkFrames(playingSince, Clock::now()).first);
    std::printf("program's stream asks no quantum that pw-dump shows; the graph ran at %d\n",
                frames);
    return frames;
}

void Run::PrintTimedBy(const char* recorderName, const HeardSound& recorder, int quantum) const {
    const Series keys = Onsets(events_, kKey, recorder),
                 pulse = Onsets(events_, kPulseReference, recorder),
                 native = Onsets(events_, kNativeReference, recorder);
    std::printf("timed by %s:\n", recorderName);
    std::printf("  key -> sound:                       %s\n", Describe(keys).c_str());
    if (pipewire())
        std::printf("  native client at %4d frames:       %s\n", quantum, Describe(native).c_str());
    std::printf("  PulseAudio-protocol client, 5 ms:   %s\n", Describe(pulse).c_str());
    if (pipewire() && !Overhead(keys, native).empty())
        std::printf("  over the native client's median:    %s\n", Overhead(keys, native).c_str());
    if (!Overhead(keys, pulse).empty())
        std::printf("  over the PulseAudio client's median: %s\n", Overhead(keys, pulse).c_str());
    for (const Series* series : {&keys, &pulse, &native})
        if (series->missed) std::printf("  missed:%s\n", series->misses.c_str());
}

void Run::PrintAfterSilence() const {
    const HeardSound& recorder =
        pipewire() ? static_cast<const HeardSound&>(*nativeRecorder_) : *pulseRecorder_;
    const Series notes = Onsets(events_, kKeyAfterSilence, recorder);
    const Series reference =
        Onsets(events_, pipewire() ? kNativeReference : kPulseReference, recorder);
    std::printf("first note after %lld s of silence:", static_cast<long long>(kSilence.count()));
    for (double ms : notes.ms) std::printf(" %.1f", ms);
    std::printf(" ms; %s\n", Describe(notes).c_str());
    if (!Overhead(notes, reference).empty())
        std::printf("  over the %s client's median: %s\n", pipewire() ? "native" : "reference",
                    Overhead(notes, reference).c_str());
    if (notes.missed) std::printf("  missed:%s\n", notes.misses.c_str());
    if (!pipewire()) return;
    std::printf("  graph's quantum in the second before each note:");
    for (const Event& event : events_)
        if (event.series == kKeyAfterSilence)
            std::printf(" %s", Quantum(*nativeRecorder_, event.at - 1s, event.at).c_str());
    std::printf("\n");
}

// The native client at each asked quantum, with no other stream playing but the recorder's.
void Run::TimeNativeClientAlone() {
    for (std::size_t i = 0; i < settings_.quanta.size(); ++i) {
        AskQuantum(settings_.quanta[i]);
        PipeWireReferenceClient client(server_, settings_.quanta[i]);
        if (!client.ready()) continue;
        std::this_thread::sleep_for(300ms);
        const auto start = Clock::now();
        const int series = kNativeAlone + static_cast<int>(i);
        for (int burst = 0; burst < kBurstsAlone; ++burst) {
            events_.push_back({client.Burst(), series});
            SleepRandomGap();
        }
        std::printf("native client alone at %4d frames: %s, graph's quantum %s\n",
                    settings_.quanta[i],
                    Describe(Onsets(events_, series, *nativeRecorder_)).c_str(),
                    Quantum(*nativeRecorder_, start, Clock::now()).c_str());
    }
}

void Run::Measure() {
    std::printf("\n== %s, null sink at %d Hz ==\n", server_.Name(), server_.sinkRate());
    if (!server_.running()) {
        std::printf("skipped: %s\n", server_.error().c_str());
        return;
    }
    const std::string loadBefore = LoadAverage();
    server_.Export();
    if (kind_ == SoundServer::Kind::kPipeWire) {
        askedQuantum_ = settings_.recorderQuantum ? settings_.recorderQuantum : kMaxQuantum;
        nativeRecorder_.emplace(server_, askedQuantum_);
    }
    pulseRecorder_.emplace(server_);
    std::optional<ReferenceClient> pulseReference(std::in_place, server_);
    Xvfb xvfb;
    if ((pipewire() && !nativeRecorder_->recording()) || !pulseRecorder_->recording() ||
        !pulseReference->ready() || !xvfb.running()) {
        std::printf("skipped: no recording, reference stream or virtual X server\n");
        return;
    }
    ProgramUnderTest program(xvfb, {.writeLibrary = false,
                                    .sound = ProgramUnderTest::Sound::kTestsServer,
                                    .arguments = settings_.arguments});
    WriteShortNotes(program.folder());
    const auto replace = fs::copy_options::overwrite_existing;
    if (!settings_.program.empty())
        fs::copy_file(settings_.program, program.folder() / "tonarium", replace);
    if (!settings_.config.empty())
        fs::copy_file(settings_.config, program.folder() / "alsoft.conf", replace);
    program.Start();
    const unsigned long window = program.MainWindow();
    display_ = XOpenDisplay(xvfb.display().c_str());
    const pid_t pid = window && display_ ? WindowPid(display_, window) : -1;
    std::optional<FocusedWindow> focus(std::in_place, xvfb.display());
    if (pid <= 0 || !focus->HasFocus()) {
        std::printf(
            "skipped: the program's window did not show, or the other window has no focus\n");
        if (display_) XCloseDisplay(display_);
        return;
    }

    // Warm up: the first notes open the program's stream on the server.
    const auto warmUp = Clock::now();
    for (int note = 1; note <= 3; ++note) Press(note), SleepRandomGap();
    std::this_thread::sleep_for(500ms);
    const int quantum = pipewire() ? ProgramQuantum(pid, warmUp) : 0;
    if (pipewire()) AskQuantum(quantum);
    std::optional<PipeWireReferenceClient> nativeReference;
    if (pipewire()) nativeReference.emplace(server_, quantum);

    const auto start = Clock::now();
    for (int i = 0; i < kPresses; ++i) {
        events_.push_back({Press(1 + i * 7), kKey});
        SleepRandomGap();
        events_.push_back({pulseReference->Burst(), kPulseReference});
        SleepRandomGap();
        if (!nativeReference || !nativeReference->ready()) continue;
        events_.push_back({nativeReference->Burst(), kNativeReference});
        SleepRandomGap();
    }
    const auto end = Clock::now();
    const std::string streams = pulseReference->OtherStreams();
    std::printf("other streams as the PulseAudio protocol lists them: %s",
                streams.empty() ? "none\n" : streams.c_str());
    if (pipewire()) {
        std::printf("graph's quantum while they played: %s frames\n",
                    Quantum(*nativeRecorder_, start, end).c_str());
        const std::string recorder =
            "the native PipeWire recorder, asking " +
            std::to_string(settings_.recorderQuantum ? settings_.recorderQuantum : quantum);
        PrintTimedBy(recorder.c_str(), *nativeRecorder_, quantum);
    }
    PrintTimedBy("the PulseAudio-protocol recorder", *pulseRecorder_, quantum);
    // From here on the program plays alone, so that the graph's quantum is its own.
    nativeReference.reset();
    pulseReference.reset();
    if (pipewire()) pulseRecorder_.reset();

    // The output runs on for 10 s after the last note, then pauses until the next one.
    std::this_thread::sleep_for(1s);
    const auto runningSince = Clock::now();
    const double runningCpu = CpuPercentOver(pid, 8s);
    const auto runningUntil = Clock::now();
    for (int i = 0; i < kPressesAfterSilence; ++i) {
        std::this_thread::sleep_until(events_.back().at + kSilence);
        events_.push_back({Press(5 + i * 5), kKeyAfterSilence});
    }
    std::this_thread::sleep_until(events_.back().at + 10500ms);
    // Paused, the program should leave the graph's quantum to the others.
    if (pipewire()) AskQuantum(kMaxQuantum);
    const auto pausedSince = Clock::now() + 500ms;
    const double pausedCpu = CpuPercentOver(pid, 6s);
    PrintAfterSilence();
    std::printf("program's CPU, %% of a core: %.2f with its output running, %.2f once paused\n",
                runningCpu, pausedCpu);
    if (pipewire()) {
        std::printf(
            "graph's quantum with the program's output running alone: %s frames; once "
            "it has paused: %s (the recorder asks %d)\n",
            Quantum(*nativeRecorder_, runningSince, runningUntil).c_str(),
            Quantum(*nativeRecorder_, pausedSince, Clock::now()).c_str(), askedQuantum_);
        TimeNativeClientAlone();
    }
    XCloseDisplay(display_);
    focus.reset();
    program.EndWith(SIGTERM);

    // Started on this server as a desktop would start it, with the real sample library.
    const InstalledProgram installed(settings_.program, settings_.config);
    MapWatcher watcher(xvfb);
    if (watcher.watching())
        std::printf("%s\n",
                    TimeStartsBesideEmptyWindow(watcher, xvfb, installed, settings_.arguments)
                        .line.c_str());
    std::printf("machine's load average over a minute: %s before, %s after\n", loadBefore.c_str(),
                LoadAverage().c_str());
}

std::vector<int> Numbers(const std::string& list) {
    std::vector<int> numbers;
    std::istringstream items(list);
    for (std::string item; std::getline(items, item, ',');)
        if (!item.empty()) numbers.push_back(std::stoi(item));
    return numbers;
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream items(text);
    for (std::string word; items >> word;) words.push_back(word);
    return words;
}

Settings Parse(int argc, char* argv[]) {
    Settings settings;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i], value = argv[i + 1];
        if (option == "--program") settings.program = fs::absolute(value);
        if (option == "--arguments") settings.arguments = Words(value);
        if (option == "--config") settings.config = fs::absolute(value);
        if (option == "--sink-rate") settings.sinkRate = std::stoi(value);
        if (option == "--quanta") settings.quanta = Numbers(value);
        if (option == "--recorder-quantum") settings.recorderQuantum = std::stoi(value);
        if (option == "--server")
            settings.servers = {value == "pipewire" ? SoundServer::Kind::kPipeWire
                                                    : SoundServer::Kind::kPulseAudio};
    }
    return settings;
}

}  // namespace

int main(int argc, char* argv[]) {
    const Settings settings = Parse(argc, argv);
    std::printf(
        "Key -> sound latency: %d presses 150-350 ms apart at random, each followed by a burst of "
        "each reference client; %d more after %lld s of silence each\n",
        kPresses, kPressesAfterSilence, static_cast<long long>(kSilence.count()));
    std::string arguments;
    for (const std::string& argument : settings.arguments) arguments += " " + argument;
    std::printf("program: %s%s; settings: %s\n",
                settings.program.empty() ? "this build" : settings.program.c_str(),
                arguments.c_str(),
                settings.config.empty() ? "the shipped alsoft.conf" : settings.config.c_str());
    for (const SoundServer::Kind kind : settings.servers) Run(kind, settings).Measure();
}
