// Start-up time, memory and idle CPU of the program under a virtual X server, beside an empty
// Qt Widgets window. Prints figures; asserts nothing.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "platform/openal_sound_device.h"
#include "process_stats.h"
#include "wav_fixtures.h"
#include "xvfb.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using namespace testing_support;
using bench::PeakRssKb;
using bench::ProcessCpuSeconds;

struct Figures {
    long peakRssKb = 0;
    double idleCpuPercent = 0;
    double pausedCpuPercent = 0;  // once the program's sound device has paused for silence
};

// Sees top-level windows being mapped, from the moment it is made: the server reports each
// MapNotify on the root window to it, so no window can show unnoticed before we look.
class MapWatcher {
  public:
    explicit MapWatcher(const Xvfb& xvfb) : display_(XOpenDisplay(xvfb.display().c_str())) {
        if (!display_) return;
        XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
        XSync(display_, False);
    }
    ~MapWatcher() {
        if (display_) XCloseDisplay(display_);
    }
    bool watching() const { return display_ != nullptr; }

    // Forgets the windows mapped so far, before the next program starts.
    void Forget() { XSync(display_, True); }

    // When the window with this title was mapped; nullopt when none was within the timeout.
    std::optional<Clock::time_point> WaitForMap(const std::string& title,
                                                std::chrono::seconds timeout) {
        const auto deadline = Clock::now() + timeout;
        while (display_ && Clock::now() < deadline) {
            if (!XPending(display_)) {
                pollfd connection{ConnectionNumber(display_), POLLIN, 0};
                poll(&connection, 1, 100);
                continue;
            }
            const auto received = Clock::now();
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == MapNotify && Title(event.xmap.window) == title) return received;
        }
        return std::nullopt;
    }

  private:
    std::string Title(Window window) {
        Atom type = None;
        int format = 0;
        unsigned long length = 0, remaining = 0;
        unsigned char* data = nullptr;
        std::string title;
        if (XGetWindowProperty(display_, window, XInternAtom(display_, "_NET_WM_NAME", False), 0,
                               256, False, XInternAtom(display_, "UTF8_STRING", False), &type,
                               &format, &length, &remaining, &data) == Success &&
            data)
            title.assign(reinterpret_cast<char*>(data), length);
        if (data) XFree(data);
        return title;
    }

    Display* display_;
};

double CpuPercentOver(pid_t pid, double seconds) {
    const double before = ProcessCpuSeconds(pid);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    return (ProcessCpuSeconds(pid) - before) / seconds * 100;
}

pid_t Launch(const Xvfb& xvfb, const std::string& program, const char* soundDrivers) {
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("DISPLAY", xvfb.display().c_str(), 1);
        setenv("ALSOFT_DRIVERS", soundDrivers, 1);
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

void End(pid_t pid) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

double SecondsSince(Clock::time_point start, std::optional<Clock::time_point> end) {
    return end ? std::chrono::duration<double>(*end - start).count() : std::nan("");
}

// Start to window mapped: the median and the fastest of several starts of each program in turn,
// so that a busy moment of a shared machine does not decide the ratio.
struct StartTimes {
    double median = 0, fastest = 0;
};

std::array<StartTimes, 2> TimeStarts(
    MapWatcher& watcher, const Xvfb& xvfb,
    const std::array<std::pair<std::string, std::string>, 2>& programs) {
    constexpr int kStarts = 9;
    std::array<std::vector<double>, 2> seconds;
    for (int round = 0; round < kStarts; ++round)
        for (std::size_t i = 0; i < programs.size(); ++i) {
            watcher.Forget();
            const auto start = Clock::now();
            const pid_t pid = Launch(xvfb, programs[i].first, "null");
            seconds[i].push_back(SecondsSince(start, watcher.WaitForMap(programs[i].second, 20s)));
            End(pid);
        }
    std::array<StartTimes, 2> times;
    for (std::size_t i = 0; i < programs.size(); ++i) {
        std::sort(seconds[i].begin(), seconds[i].end());
        times[i] = {seconds[i][kStarts / 2], seconds[i].front()};
    }
    return times;
}

Figures Measure(MapWatcher& watcher, const Xvfb& xvfb, const std::string& program,
                const std::string& title, double idleSeconds, const char* soundDrivers = "null",
                std::chrono::seconds pausedAfter = {}) {
    watcher.Forget();
    const pid_t pid = Launch(xvfb, program, soundDrivers);
    Figures figures;
    watcher.WaitForMap(title, 20s);
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
    // The program as installed: its sound settings and the real sample library beside it.
    TempDir dir;
    fs::copy_file(TONARIUM_EXECUTABLE, dir.path() / "tonarium");
    fs::copy_file(TONARIUM_SOUND_CONFIG, dir.path() / "alsoft.conf");
    fs::copy(TONARIUM_SAMPLES, dir.path() / "wav", fs::copy_options::recursive);
    std::size_t samples = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path() / "wav"))
        samples += entry.path().extension() == ".wav";

    const std::string program = (dir.path() / "tonarium").string();
    const std::string title = "Музыкальный тонариум v 1.01";
    // One connection for every start: opening one per start now and then failed.
    MapWatcher watcher(xvfb);
    if (!watcher.watching()) {
        std::printf("the virtual X server took no connection\n");
        return 0;
    }
    const auto [programStart, emptyStart] =
        TimeStarts(watcher, xvfb, {{{program, title}, {EMPTY_WINDOW_EXECUTABLE, "empty"}}});
    const Figures empty = Measure(watcher, xvfb, EMPTY_WINDOW_EXECUTABLE, "empty", idleSeconds);
    const auto silenceBeforePause = std::chrono::duration_cast<std::chrono::seconds>(
        platform::OpenAlSoundDevice::kSilenceBeforePause);
    const Figures ours =
        Measure(watcher, xvfb, program, title, idleSeconds, "null", silenceBeforePause);
    // The same without any sound device, to tell OpenAL's share from ours.
    const Figures silent = Measure(watcher, xvfb, program, title, 1, "none");
    std::printf(
        "Start to main window mapped, by its MapNotify (%zu samples in the library, the piano's "
        "37 loaded): median %.0f ms, fastest %.0f ms; empty Qt window median %.0f ms, fastest "
        "%.0f ms; ratio of medians %.2f, of the fastest %.2f\n",
        samples, programStart.median * 1e3, programStart.fastest * 1e3, emptyStart.median * 1e3,
        emptyStart.fastest * 1e3, programStart.median / emptyStart.median,
        programStart.fastest / emptyStart.fastest);
    std::printf(
        "Peak RSS: %ld KiB; empty Qt window %ld KiB; ratio %.2f (without a sound device "
        "%ld KiB, ratio %.2f)\n",
        ours.peakRssKb, empty.peakRssKb, double(ours.peakRssKb) / empty.peakRssKb, silent.peakRssKb,
        double(silent.peakRssKb) / empty.peakRssKb);
    std::printf(
        "Idle CPU over %.0f s, in %% of a core: %.2f with the sound device running, %.2f once "
        "it has paused after %lld s of silence; empty Qt window %.2f\n",
        idleSeconds, ours.idleCpuPercent, ours.pausedCpuPercent,
        static_cast<long long>(silenceBeforePause.count()), empty.idleCpuPercent);
}
