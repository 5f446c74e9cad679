// SPDX-License-Identifier: MIT
#include "startup_timing.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace bench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const char* const kEmptyWindowExecutable = EMPTY_WINDOW_EXECUTABLE;

InstalledProgram::InstalledProgram(const std::string& program, const std::string& config) {
    fs::copy_file(program.empty() ? TONARIUM_EXECUTABLE : program, dir_.path() / "tonarium");
    fs::copy_file(config.empty() ? TONARIUM_SOUND_CONFIG : config, dir_.path() / "alsoft.conf");
    fs::copy(TONARIUM_SAMPLES, dir_.path() / "wav", fs::copy_options::recursive);
    for (const auto& entry : fs::recursive_directory_iterator(dir_.path() / "wav"))
        samples_ += entry.path().extension() == ".wav";
}

MapWatcher::MapWatcher(const testing_support::Xvfb& xvfb)
    : display_(XOpenDisplay(xvfb.display().c_str())) {
    if (!display_) return;
    XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
    XSync(display_, False);
}

MapWatcher::~MapWatcher() {
    if (display_) XCloseDisplay(display_);
}

void MapWatcher::Forget() {
    XSync(display_, True);
}

std::optional<Clock::time_point> MapWatcher::WaitForMap(const std::string& title,
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

std::string MapWatcher::Title(unsigned long window) {
    Atom type = None;
    int format = 0;
    unsigned long length = 0, remaining = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display_, window, XInternAtom(display_, "_NET_WM_NAME", False), 0, 256,
                           False, XInternAtom(display_, "UTF8_STRING", False), &type, &format,
                           &length, &remaining, &data) == Success &&
        data)
        title.assign(reinterpret_cast<char*>(data), length);
    if (data) XFree(data);
    return title;
}

pid_t Launch(const testing_support::Xvfb& xvfb, const std::string& program,
             const std::vector<std::string>& arguments) {
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("DISPLAY", xvfb.display().c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

void End(pid_t pid) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

StartTimes TimeStartsBesideEmptyWindow(MapWatcher& watcher, const testing_support::Xvfb& xvfb,
                                       const InstalledProgram& program,
                                       const std::vector<std::string>& arguments) {
    constexpr int kStarts = 9;
    const std::array<std::pair<std::string, std::string>, 2> programs{
        {{program.path(), kMainWindowTitle}, {kEmptyWindowExecutable, "empty"}}};
    std::array<std::vector<double>, 2> seconds;
    for (int round = 0; round < kStarts; ++round)
        for (std::size_t i = 0; i < programs.size(); ++i) {
            watcher.Forget();
            const auto start = Clock::now();
            const pid_t pid =
                Launch(xvfb, programs[i].first, i == 0 ? arguments : std::vector<std::string>{});
            const auto mapped = watcher.WaitForMap(programs[i].second, 20s);
            seconds[i].push_back(mapped ? std::chrono::duration<double>(*mapped - start).count()
                                        : std::nan(""));
            End(pid);
        }
    for (auto& times : seconds) std::sort(times.begin(), times.end());
    const auto median = [&](std::size_t i) { return seconds[i][kStarts / 2] * 1e3; };
    const auto fastest = [&](std::size_t i) { return seconds[i].front() * 1e3; };
    char line[400];
    std::snprintf(line, sizeof line,
                  "Start to main window mapped, by its MapNotify (%zu samples in the library, the "
                  "piano's 37 loaded): median %.0f ms, fastest %.0f ms; empty Qt window median "
                  "%.0f ms, fastest %.0f ms; ratio of medians %.2f, of the fastest %.2f",
                  program.samples(), median(0), fastest(0), median(1), fastest(1),
                  median(0) / median(1), fastest(0) / fastest(1));
    return {line, median(0) / median(1), fastest(0) / fastest(1)};
}

}  // namespace bench
