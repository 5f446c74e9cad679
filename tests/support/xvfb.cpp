// SPDX-License-Identifier: MIT
#include "xvfb.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "poll_until.h"

namespace testing_support {

namespace {

// Reads one line from the descriptor until `seconds` have passed; false on a timeout or on the
// end of the stream without a full line.
bool ReadLine(int fd, double seconds, std::string& line) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) return false;
        char c = 0;
        if (read(fd, &c, 1) != 1) return false;
        if (c == '\n') return true;
        line += c;
    }
}

std::string Contents(FILE* file) {
    std::string text;
    if (!file) return text;
    std::rewind(file);
    for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
    return text;
}

std::string ExitDescription(int status) {
    if (WIFSIGNALED(status)) return "was killed by signal " + std::to_string(WTERMSIG(status));
    return "exited with status " + std::to_string(WEXITSTATUS(status));
}

}  // namespace

Xvfb::Xvfb(double seconds) {
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        failure_ = "Xvfb: no pipe";
        return;
    }
    // The server's messages (one per display it found taken) are shown only when it fails.
    FILE* log = std::tmpfile();
    pid_ = fork();
    if (pid_ == 0) {
        fcntl(ready[1], F_SETFD, 0);  // the server writes its display number here
        if (log) dup2(fileno(log), STDERR_FILENO);
        const std::string fd = std::to_string(ready[1]);
        // No reset when the last client goes: a test that connects again right after would
        // find the server starting over.
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
               "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    std::string number;
    const bool answered = pid_ > 0 && ReadLine(ready[0], seconds, number) && !number.empty();
    close(ready[0]);
    if (answered) {
        display_ = ":" + number;
    } else {
        // A server that closed the pipe is gone in a moment; one that did not answer is stopped.
        int status = 0;
        if (pid_ > 0 && PollUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 1)) {
            pid_ = -1;
            failure_ = WIFEXITED(status) && WEXITSTATUS(status) == 127
                           ? "Xvfb is not installed"
                           : "Xvfb " + ExitDescription(status) + " before it took clients";
        } else {
            Stop(SIGKILL);
            char limit[32];
            std::snprintf(limit, sizeof limit, "%g s", seconds);
            failure_ = "Xvfb did not name its display within " + std::string(limit);
        }
        if (const std::string said = Contents(log); !said.empty()) failure_ += ":\n" + said;
    }
    if (log) std::fclose(log);
}

Xvfb::~Xvfb() {
    Stop(SIGTERM);
}

void Xvfb::Stop(int signal) {
    if (pid_ <= 0) return;
    kill(pid_, signal);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

FocusedWindow::FocusedWindow(const std::string& display) : display_(XOpenDisplay(display.c_str())) {
    if (!display_) return;
    window_ =
        XCreateSimpleWindow(display_, DefaultRootWindow(display_), 600, 500, 200, 100, 0, 0, 0);
    // With no window manager on the server the window is mapped once the request is through.
    XMapRaised(display_, window_);
    XSync(display_, False);
    XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
    XSync(display_, False);
}

FocusedWindow::~FocusedWindow() {
    if (display_) XCloseDisplay(display_);
}

bool FocusedWindow::HasFocus() const {
    if (!display_) return false;
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    return focus == window_;
}

HeldKey::HeldKey(const std::string& display, const std::string& key) {
    Display* connection = XOpenDisplay(display.c_str());
    if (!connection) return;
    const KeyCode code = XKeysymToKeycode(connection, XStringToKeysym(key.c_str()));
    pid_ = fork();
    if (pid_ == 0) {
        setenv("DISPLAY", display.c_str(), 1);
        execlp("xdotool", "xdotool", "keydown", key.c_str(), "sleep", "600",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    down_ = pid_ > 0 && code != 0 &&
            PollUntil(
                [&] {
                    char keys[32] = {};
                    XQueryKeymap(connection, keys);
                    return (keys[code / 8] >> (code % 8)) & 1;
                },
                5);
    XCloseDisplay(connection);
}

HeldKey::~HeldKey() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}

bool HeldUntil(platform::KeySource& source, const platform::KeyPresses& record, int scanCode,
               bool held) {
    return PollUntil(
        [&] {
            source.Poll();
            return record.Held(scanCode) == held;
        },
        5, std::chrono::milliseconds(2));
}

bool RunOnDisplay(const std::string& display, const std::string& command) {
    return std::system(("DISPLAY=" + display + " " + command).c_str()) == 0;
}

}  // namespace testing_support
