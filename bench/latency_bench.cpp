// Time from a key going down to its note being heard, on a real sound server: the built program
// under a virtual X server, another window holding the focus, keys pressed through XTest at
// random moments, the server's null sink recorded to time every onset. A client that writes
// straight to the same server with a 5 ms buffer is timed the same way in the same run; the
// difference is what the program adds. Prints figures; asserts nothing.
//
//   latency_bench [--server pulseaudio|pipewire] [--program FILE] [--config alsoft.conf]
//                 [--sink-rate HZ]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/note_map.h"
#include "process_stats.h"
#include "program_under_test.h"
#include "reference_client.h"
#include "sound_server.h"

// Xlib last: its macros clash with Qt's names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using namespace testing_support;

constexpr int kPresses = 40;
constexpr int kPressesAfterSilence = 3;
constexpr auto kSilence = 12s;
// Notes short enough to have died away before the next press, so every onset stands clear.
constexpr double kNoteSeconds = 0.06;

struct Settings {
    std::vector<SoundServer::Kind> servers{SoundServer::Kind::kPulseAudio,
                                           SoundServer::Kind::kPipeWire};
    std::string program;  // empty: the one built beside this benchmark
    std::string config;   // empty: the shipped alsoft.conf
    int sinkRate = 48000;
};

struct Event {
    Clock::time_point at;
    enum Kind { kKey, kReference, kKeyAfterSilence } kind;
};

// Milliseconds from each event of one kind to its onset; events with no onset count as missed.
struct Series {
    std::vector<double> ms;
    int missed = 0;
    std::string misses;  // for each: its place in the run, and the next sound within a second
};

double Percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * values.size()));
    return values[std::max<std::size_t>(rank, 1) - 1];
}

std::string Describe(const Series& series) {
    if (series.ms.empty()) return "nothing heard";
    char text[160];
    std::snprintf(
        text, sizeof text, "median %5.1f  p95 %5.1f  max %5.1f ms  (%zu heard, %d missed)",
        Percentile(series.ms, 0.5), Percentile(series.ms, 0.95),
        *std::max_element(series.ms.begin(), series.ms.end()), series.ms.size(), series.missed);
    return text;
}

void WriteShortNotes(const fs::path& folder) {
    fs::create_directories(folder / "wav/piano");
    WriteToneWav((folder / "wav/piano/0.wav").string(), ToneSpec{.seconds = 0.1, .amplitude = 0});
    for (int note = 1; note <= core::kNoteCount; ++note)
        WriteToneWav((folder / "wav/piano" / (std::to_string(note) + ".wav")).string(),
                     ToneSpec{.frequency = NoteFrequency(note), .seconds = kNoteSeconds});
}

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

// The machine's load over the last minute: other work on the cores shows in the figures.
std::string LoadAverage() {
    std::string load;
    std::ifstream("/proc/loadavg") >> load;
    return load;
}

double CpuPercentOver(pid_t pid, Clock::duration span) {
    const double before = bench::ProcessCpuSeconds(pid);
    const auto start = Clock::now();
    std::this_thread::sleep_for(span);
    return (bench::ProcessCpuSeconds(pid) - before) /
           std::chrono::duration<double>(Clock::now() - start).count() * 100;
}

class Run {
  public:
    Run(SoundServer::Kind kind, const Settings& settings)
        : server_(kind, settings.sinkRate), settings_(settings) {}
    void Measure();

  private:
    // Presses a key through XTest and lets it go 40 ms later; the moment it went down.
    Clock::time_point Press(int note);
    void SleepRandomGap() { std::this_thread::sleep_for(std::chrono::milliseconds(gap_(random_))); }
    Series Onsets(Event::Kind kind) const;

    SoundServer server_;
    const Settings& settings_;
    std::optional<MonitorRecorder> recorder_;
    Display* display_ = nullptr;
    std::vector<Event> events_;
    std::mt19937 random_{std::random_device{}()};
    std::uniform_int_distribution<int> gap_{150, 350};
};

Clock::time_point Run::Press(int note) {
    const int keyCode = core::NoteMap[(note - 1) % core::kNoteCount].keyCode + 8;
    const auto down = Clock::now();
    XTestFakeKeyEvent(display_, keyCode, True, CurrentTime);
    XFlush(display_);
    std::this_thread::sleep_for(40ms);
    XTestFakeKeyEvent(display_, keyCode, False, CurrentTime);
    XFlush(display_);
    return down;
}

Series Run::Onsets(Event::Kind kind) const {
    Series series;
    for (std::size_t i = 0; i < events_.size(); ++i) {
        if (events_[i].kind != kind) continue;
        // Up to the next event: a note that comes later than that is as good as lost.
        const auto until = i + 1 < events_.size() ? events_[i + 1].at : events_[i].at + 1s;
        const auto sinceEvent = [this, i](Clock::time_point t) {
            return std::chrono::duration<double, std::milli>(t - events_[i].at).count();
        };
        if (const auto heard = recorder_->FirstSoundAfter(events_[i].at, until)) {
            series.ms.push_back(sinceEvent(*heard));
            continue;
        }
        ++series.missed;
        const auto later = recorder_->FirstSoundAfter(events_[i].at, events_[i].at + 1s);
        char miss[80];
        std::snprintf(
            miss, sizeof miss, " #%zu at %.1f s (next sound: %s)", i,
            std::chrono::duration<double>(events_[i].at - events_[0].at).count(),
            later ? (std::to_string(std::lround(sinceEvent(*later))) + " ms").c_str() : "none");
        series.misses += miss;
    }
    return series;
}

void Run::Measure() {
    std::printf("\n== %s, null sink at %d Hz ==\n", server_.Name(), server_.sinkRate());
    if (!server_.running()) {
        std::printf("skipped: %s\n", server_.error().c_str());
        return;
    }
    const std::string loadBefore = LoadAverage();
    server_.Export();
    recorder_.emplace(server_);
    bench::ReferenceClient reference(server_);
    Xvfb xvfb;
    if (!recorder_->recording() || !reference.ready() || !xvfb.running()) {
        std::printf("skipped: no recording, reference stream or virtual X server\n");
        return;
    }
    ProgramUnderTest program(xvfb, {.writeLibrary = false, .soundDrivers = "pulse"});
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
    FocusedWindow focus(xvfb.display());
    if (pid <= 0 || !focus.HasFocus()) {
        std::printf(
            "skipped: the program's window did not show, or the other window has no focus\n");
        if (display_) XCloseDisplay(display_);
        return;
    }

    // Warm up: the first notes open OpenAL's stream on the server.
    for (int note = 1; note <= 3; ++note) Press(note), SleepRandomGap();
    std::this_thread::sleep_for(500ms);

    for (int i = 0; i < kPresses; ++i) {
        events_.push_back({Press(1 + i * 7), Event::kKey});
        SleepRandomGap();
        events_.push_back({reference.Burst(), Event::kReference});
        SleepRandomGap();
    }
    const std::string streams = reference.OtherStreams();
    // The device runs on for 10 s after the last note, then pauses until the next one.
    std::this_thread::sleep_for(1s);
    const double runningCpu = CpuPercentOver(pid, 8s);
    for (int i = 0; i < kPressesAfterSilence; ++i) {
        std::this_thread::sleep_until(events_.back().at + kSilence);
        events_.push_back({Press(5 + i * 5), Event::kKeyAfterSilence});
    }
    std::this_thread::sleep_until(events_.back().at + 10500ms);
    const double quietCpu = CpuPercentOver(pid, 6s);
    XCloseDisplay(display_);

    const Series keys = Onsets(Event::kKey), references = Onsets(Event::kReference),
                 afterSilence = Onsets(Event::kKeyAfterSilence);
    std::printf("program's stream as the server sees it: %s",
                streams.empty() ? "none\n" : streams.c_str());
    std::printf("key -> sound:            %s\n", Describe(keys).c_str());
    std::printf("reference, 5 ms buffer:  %s\n", Describe(references).c_str());
    if (!keys.ms.empty() && !references.ms.empty()) {
        const double base = Percentile(references.ms, 0.5);
        std::printf("overhead over the reference's median: median %+.1f  p95 %+.1f  max %+.1f ms\n",
                    Percentile(keys.ms, 0.5) - base, Percentile(keys.ms, 0.95) - base,
                    *std::max_element(keys.ms.begin(), keys.ms.end()) - base);
    }
    std::printf("first note after %lld s of silence:", static_cast<long long>(kSilence.count()));
    for (double ms : afterSilence.ms) std::printf(" %.1f", ms);
    std::printf(" ms\n");
    for (const Series* series : {&keys, &references, &afterSilence})
        if (series->missed) std::printf("missed:%s\n", series->misses.c_str());
    std::printf("program's CPU, %% of a core: %.2f with the device running, %.2f once paused\n",
                runningCpu, quietCpu);
    std::printf("machine's load average over a minute: %s before, %s after\n", loadBefore.c_str(),
                LoadAverage().c_str());
}

Settings Parse(int argc, char* argv[]) {
    Settings settings;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i], value = argv[i + 1];
        if (option == "--program") settings.program = fs::absolute(value);
        if (option == "--config") settings.config = fs::absolute(value);
        if (option == "--sink-rate") settings.sinkRate = std::stoi(value);
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
        "Key -> sound latency: %d presses 150-350 ms apart at random, each followed by a "
        "reference burst; %d more after %lld s of silence each\n",
        kPresses, kPressesAfterSilence, static_cast<long long>(kSilence.count()));
    std::printf("program: %s; settings: %s\n",
                settings.program.empty() ? "this build" : settings.program.c_str(),
                settings.config.empty() ? "the shipped alsoft.conf" : settings.config.c_str());
    for (const SoundServer::Kind kind : settings.servers) Run(kind, settings).Measure();
}
