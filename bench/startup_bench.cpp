// Start-up time, memory and idle CPU of the program under a virtual X server, beside an empty
// Qt Widgets window. Prints figures; asserts nothing.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "platform/openal_sound_device.h"
#include "process_stats.h"
#include "wav_fixtures.h"
#include "xvfb.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace testing_support;
using bench::PeakRssKb;
using bench::ProcessCpuSeconds;

struct Figures {
    double secondsToWindow = 0;
    long peakRssKb = 0;
    double idleCpuPercent = 0;
    double pausedCpuPercent = 0;  // once the program's sound device has paused for silence
};

double CpuPercentOver(pid_t pid, double seconds) {
    const double before = ProcessCpuSeconds(pid);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    return (ProcessCpuSeconds(pid) - before) / seconds * 100;
}

Figures Measure(const Xvfb& xvfb, const std::string& program, const std::string& title,
                double idleSeconds, const char* soundDrivers = "null",
                std::chrono::seconds pausedAfter = {}) {
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("DISPLAY", xvfb.display().c_str(), 1);
        setenv("ALSOFT_DRIVERS", soundDrivers, 1);
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const std::string search = "DISPLAY=" + xvfb.display() +
                               " xdotool search --onlyvisible --name '^" + title +
                               "$' >/dev/null 2>&1";
    Figures figures;
    while (std::system(search.c_str()) != 0) {
        if (Clock::now() - start > std::chrono::seconds(20)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    figures.secondsToWindow = std::chrono::duration<double>(Clock::now() - start).count();
    const auto shown = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    figures.idleCpuPercent = CpuPercentOver(pid, idleSeconds);
    if (pausedAfter.count() > 0) {
        std::this_thread::sleep_until(shown + pausedAfter + std::chrono::seconds(1));
        figures.pausedCpuPercent = CpuPercentOver(pid, idleSeconds);
    }
    figures.peakRssKb = PeakRssKb(pid);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
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
    // The program as installed: its sound settings and the real sample library beside it.
    TempDir dir;
    fs::copy_file(TONARIUM_EXECUTABLE, dir.path() / "tonarium");
    fs::copy_file(TONARIUM_SOUND_CONFIG, dir.path() / "alsoft.conf");
    fs::copy(TONARIUM_SAMPLES, dir.path() / "wav", fs::copy_options::recursive);
    std::size_t samples = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path() / "wav"))
        samples += entry.path().extension() == ".wav";

    const Figures empty = Measure(xvfb, EMPTY_WINDOW_EXECUTABLE, "empty", idleSeconds);
    const auto silenceBeforePause = std::chrono::duration_cast<std::chrono::seconds>(
        platform::OpenAlSoundDevice::kSilenceBeforePause);
    const Figures program =
        Measure(xvfb, (dir.path() / "tonarium").string(), "Музыкальный тонариум v 1.01",
                idleSeconds, "null", silenceBeforePause);
    // The same without any sound device, to tell OpenAL's share from ours.
    const Figures silent =
        Measure(xvfb, (dir.path() / "tonarium").string(), "Музыкальный тонариум v 1.01", 1, "none");
    std::printf(
        "Start to window shown (%zu samples in the library, the piano's 37 loaded): "
        "%.0f ms; empty Qt window %.0f ms; ratio %.2f\n",
        samples, program.secondsToWindow * 1e3, empty.secondsToWindow * 1e3,
        program.secondsToWindow / empty.secondsToWindow);
    std::printf(
        "Peak RSS: %ld KiB; empty Qt window %ld KiB; ratio %.2f (without a sound device "
        "%ld KiB, ratio %.2f)\n",
        program.peakRssKb, empty.peakRssKb, double(program.peakRssKb) / empty.peakRssKb,
        silent.peakRssKb, double(silent.peakRssKb) / empty.peakRssKb);
    std::printf(
        "Idle CPU over %.0f s, in %% of a core: %.2f with the sound device running, %.2f once "
        "it has paused after %lld s of silence; empty Qt window %.2f\n",
        idleSeconds, program.idleCpuPercent, program.pausedCpuPercent,
        static_cast<long long>(silenceBeforePause.count()), empty.idleCpuPercent);
}
