// Start-up time, memory and idle CPU of the program under a virtual X server, beside an empty
// Qt Widgets window. Prints figures; asserts nothing.
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/sound/sound.h"
#include "process_stats.h"
#include "startup_timing.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace testing_support;
using namespace bench;

struct Figures {
    long peakRssKb = 0;
    double idleCpuPercent = 0;
    double pausedCpuPercent = 0;  // once the program's sound device has paused for silence
};

double CpuPercentOver(pid_t pid, double seconds) {
    const double before = ProcessCpuSeconds(pid);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    return (ProcessCpuSeconds(pid) - before) / seconds * 100;
}

Figures Measure(MapWatcher& watcher, const Xvfb& xvfb, const std::string& program,
                const std::string& title, double idleSeconds,
                std::chrono::seconds pausedAfter = {}) {
    watcher.Forget();
    const pid_t pid = Launch(xvfb, program);
    Figures figures;
    watcher.WaitForMap(title, std::chrono::seconds(20));
    const auto shown = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    figures.idleCpuPercent = CpuPercentOver(pid, idleSeconds);
    if (pausedAfter.count() > 0) {
        std::this_thread::sleep_until(shown + pausedAfter + std::chrono::seconds(1));
        figures.pausedCpuPercent = CpuPercentOver(pid, idleSeconds);
    }
    figures.peakRssKb = PeakRssKb(pid);
    End(pid);
    return figures;
}

}  // namespace

int main(int argc, char* argv[]) {
    const double idleSeconds = argc > 1 ? std::atof(argv[1]) : 10;
    Xvfb xvfb;
    if (!xvfb.running()) {
        std::printf("Xvfb is not installed\n");
        return 0;
    }
    const InstalledProgram installed;
    const std::string program = installed.path();
    // One connection for every start: opening one per start now and then failed.
    MapWatcher watcher(xvfb);
    if (!watcher.watching()) {
        std::printf("the virtual X server took no connection\n");
        return 0;
    }
    const std::string starts = TimeStartsBesideEmptyWindow(watcher, xvfb, installed);
    const Figures empty = Measure(watcher, xvfb, kEmptyWindowExecutable, "empty", idleSeconds);
    const auto silenceBeforePause =
        std::chrono::duration_cast<std::chrono::seconds>(platform::kSilenceBeforePause);
    const Figures ours =
        Measure(watcher, xvfb, program, kMainWindowTitle, idleSeconds, silenceBeforePause);
    std::printf("%s\n", starts.c_str());
    std::printf("Peak RSS: %ld KiB; empty Qt window %ld KiB; ratio %.2f\n", ours.peakRssKb,
                empty.peakRssKb, double(ours.peakRssKb) / empty.peakRssKb);
    std::printf(
        "Idle CPU over %.0f s, in %% of a core: %.2f with the sound device running, %.2f once "
        "it has paused after %lld s of silence; empty Qt window %.2f\n",
        idleSeconds, ours.idleCpuPercent, ours.pausedCpuPercent,
        static_cast<long long>(silenceBeforePause.count()), empty.idleCpuPercent);
}
