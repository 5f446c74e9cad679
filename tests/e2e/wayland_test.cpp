// SPDX-License-Identifier: MIT
// The program as a native client of a real Wayland compositor. Weston runs on its X11 back end
// inside a virtual X server, because its headless back end has no seat to type on: keys sent to
// the X server reach Weston as a keyboard, and Weston hands them to the focused Wayland window.
// The program gets no DISPLAY, so no background source sees those keys; only the window's own key
// events can make it play.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <vector>

#include "poll_until.h"
#include "sound_server.h"
#include "wav_fixtures.h"
#include "xvfb.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

std::string Contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A process of this test with its output in a log file, ended with the object if still running.
class Child {
  public:
    Child(const std::vector<std::string>& argv, const fs::path& log) {
        pid_ = fork();
        if (pid_ != 0) return;
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    ~Child() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        if (Wait(5) < 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    // Its exit status once it has ended within `seconds` (128 + signal when killed), else -1.
    int Wait(double seconds) {
        int status = 0;
        if (!PollUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, seconds)) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

  private:
    pid_t pid_ = -1;
};

// In the sanitizer build: the leaks Qt's Wayland platform leaves at exit are suppressed by the
// functions that made them (tests/lsan.supp), which only full stacks show.
std::string FullLeakStacks() {
    const char* inherited = std::getenv("ASAN_OPTIONS");
    return std::string("ASAN_OPTIONS=") + (inherited ? inherited : "") + ":fast_unwind_on_malloc=0";
}

// Where a keyboard device is readable the program has a background source and says nothing.
bool AnyInputDeviceReadable() {
    std::error_code missing;
    for (const auto& device : fs::directory_iterator("/dev/input", missing))
        if (device.path().filename().string().starts_with("event") &&
            access(device.path().c_str(), R_OK) == 0)
            return true;
    return false;
}

TEST(WaylandSession, FocusedWindowPlaysAndQuitsFromTheKeyboard) {
    if (std::system("command -v weston >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "weston is not installed (scripts/setup.sh --test installs it)";
    Xvfb xvfb;
    ASSERT_TRUE(xvfb.running()) << xvfb.failure();
    const SoundServer sound;
    ASSERT_TRUE(sound.running()) << sound.error();
    const MonitorRecorder recorder(sound);
    TempDir dir;
    const fs::path runtime = dir.path() / "runtime";
    fs::create_directory(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    // The kiosk shell shows the window at once with the focus and starts no helper clients.
    std::ofstream(dir.path() / "weston.ini") << "[core]\nshell=kiosk-shell.so\n"
                                             << "[input-method]\npath=\n";

    Child weston({"env", "DISPLAY=" + xvfb.display(), "XDG_RUNTIME_DIR=" + runtime.string(),
                  "weston", "--backend=x11-backend.so", "--use-pixman", "--width=640",
                  "--height=480", "--socket=tonarium", "--config=" + dir.file("weston.ini")},
                 dir.path() / "weston.log");
    ASSERT_TRUE(PollUntil([&] { return fs::exists(runtime / "tonarium"); }, 20))
        << Contents(dir.path() / "weston.log");
    // Weston's window holds the X focus before the program starts: a later change of X focus makes
    // Weston take the keyboard from the program's window, and at times not give it back.
    ASSERT_TRUE(RunOnDisplay(
        xvfb.display(), "xdotool search --sync --onlyvisible --class weston windowfocus --sync"));

    const fs::path log = dir.path() / "program.log";
    Child program({"env", "-u", "DISPLAY", "XDG_RUNTIME_DIR=" + runtime.string(),
                   "WAYLAND_DISPLAY=tonarium", "QT_QPA_PLATFORM=wayland", "WAYLAND_DEBUG=client",
                   FullLeakStacks(), "PULSE_SERVER=" + sound.PulseServer(), TONARIUM_EXECUTABLE},
                  log);
    // The protocol log tells when Weston has given the window the keyboard.
    const std::regex focused(R"(wl_keyboard@\d+\.enter\()");
    ASSERT_TRUE(PollUntil([&] { return std::regex_search(Contents(log), focused); }, 20))
        << Contents(log);
    if (!AnyInputDeviceReadable()) {
        EXPECT_NE(Contents(log).find("no keyboard can be read in the background"),
                  std::string::npos);
    }

    const auto pressed = std::chrono::steady_clock::now();
    ASSERT_TRUE(RunOnDisplay(xvfb.display(), "xdotool key q"));
    EXPECT_TRUE(recorder.WaitForSound(pressed, std::chrono::seconds(10)))
        << "Q on the focused window was not heard";
    // «Выход» holds the focus from the start, so Space presses it.
    ASSERT_TRUE(RunOnDisplay(xvfb.display(), "xdotool key space"));
    EXPECT_EQ(program.Wait(10), 0) << Contents(log);
}

}  // namespace
