// SPDX-License-Identifier: MIT
// How lean the program is beside an empty Qt Widgets window, as a user starts it: on a private
// sound server and a virtual X server, start-up to the window's MapNotify, peak memory, and CPU
// while nothing audible plays and while notes sound, each against its target. Prints figures;
// asserts nothing.
//   startup_bench [SECONDS [PROGRAM SOUND-SETTINGS]]   idle CPU over SECONDS (3); another build of
//                                                      the program, with its alsoft.conf, to time
//                                                      it the same way
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "process_stats.h"
#include "sound_server.h"
#include "startup_timing.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using namespace testing_support;
using namespace bench;

struct Figures {
    long peakRssKb = 0;
    double firstSecondCpu = 0;  // the second after the window shows: the output may already sleep
    double idleCpu = 0;         // 13 s after start, nothing pressed
    double soundingCpu = 0;     // a note struck every quarter second
};

double CpuPercentOver(pid_t pid, Clock::duration time) {
    const double before = ProcessCpuSeconds(pid);
    std::this_thread::sleep_for(time);
    return (ProcessCpuSeconds(pid) - before) / std::chrono::duration<double>(time).count() * 100;
}

Figures Measure(MapWatcher& watcher, const Xvfb& xvfb, const std::string& program,
                const std::string& title, Clock::duration idle, bool play) {
    watcher.Forget();
    const auto start = Clock::now();
    const pid_t pid = Launch(xvfb, program);
    Figures figures;
    watcher.WaitForMap(title, 20s);
    figures.firstSecondCpu = CpuPercentOver(pid, 1s);
    std::this_thread::sleep_until(start + 13s);
    figures.idleCpu = CpuPercentOver(pid, idle);
    if (play) {
        const double before = ProcessCpuSeconds(pid);
        const auto from = Clock::now();
        for (int note = 0; note < 20; ++note) {
            RunOnDisplay(xvfb.display(), "xdotool key --delay 0 q");
            std::this_thread::sleep_until(from + (note + 1) * 250ms);
        }
        figures.soundingCpu = (ProcessCpuSeconds(pid) - before) /
                              std::chrono::duration<double>(Clock::now() - from).count() * 100;
    }
    figures.peakRssKb = PeakRssKb(pid);
    End(pid);
    return figures;
}

const char* Verdict(double figure, double target) {
    return figure <= target ? "met" : "not met";
}

}  // namespace

int main(int argc, char* argv[]) {
    const auto idle = std::chrono::duration<double>(argc > 1 ? std::atof(argv[1]) : 3);
    Xvfb xvfb;
    if (!xvfb.running()) {
        std::printf("Xvfb is not installed\n");
        return 0;
    }
    const InstalledProgram installed(argc > 3 ? argv[2] : "", argc > 3 ? argv[3] : "");
    // One connection for every start: opening one per start now and then failed.
    MapWatcher watcher(xvfb);
    if (!watcher.watching()) {
        std::printf("the virtual X server took no connection\n");
        return 0;
    }
    const auto idleTime = std::chrono::duration_cast<Clock::duration>(idle);
    std::printf("Load before: %s\n", LoadAverage().c_str());
    for (const SoundServer::Kind kind :
         {SoundServer::Kind::kPulseAudio, SoundServer::Kind::kPipeWire}) {
        SoundServer server(kind);
        if (!server.running()) {
            std::printf("%s cannot run here: %s\n", server.Name(), server.error().c_str());
            continue;
        }
        server.Export();  // the program and the empty window find it
        if (kind == SoundServer::Kind::kPulseAudio) {
            const StartTimes starts = TimeStartsBesideEmptyWindow(watcher, xvfb, installed);
            std::printf("%s\n", starts.line.c_str());
            std::printf("  start-up ratio, median %.2f and fastest %.2f: target <= 1.5 %s\n",
                        starts.medianRatio, starts.fastestRatio,
                        Verdict(std::max(starts.medianRatio, starts.fastestRatio), 1.5));
        }
        const Figures empty =
            Measure(watcher, xvfb, kEmptyWindowExecutable, "empty", idleTime, false);
        const Figures ours =
            Measure(watcher, xvfb, installed.path(), kMainWindowTitle, idleTime, true);
        const double rssRatio = double(ours.peakRssKb) / empty.peakRssKb;
        std::printf("On %s:\n", server.Name());
        std::printf("  peak RSS %ld KiB, empty Qt window %ld KiB: ratio %.2f, target <= 1.3 %s\n",
                    ours.peakRssKb, empty.peakRssKb, rssRatio, Verdict(rssRatio, 1.3));
        const double silentCpu = std::max(ours.firstSecondCpu, ours.idleCpu);
        std::printf(
            "  CPU while nothing audible plays, %% of a core: %.2f the first second after the "
            "window shows, %.2f 13 s after start (empty window %.2f): target <= 0.3 %s\n",
            ours.firstSecondCpu, ours.idleCpu, empty.idleCpu, Verdict(silentCpu, 0.3));
        std::printf("  CPU while notes sound, %% of a core: %.2f: target <= 2 %s\n",
                    ours.soundingCpu, Verdict(ours.soundingCpu, 2));
    }
}
