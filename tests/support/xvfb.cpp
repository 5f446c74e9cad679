#include "xvfb.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <X11/Xlib.h>

namespace testing_support {

namespace {
bool DisplayInUse(int number) {
    return std::filesystem::exists("/tmp/.X" + std::to_string(number) + "-lock");
}
}  // namespace

Xvfb::Xvfb() {
    int number = 100 + getpid() % 400;
    while (DisplayInUse(number)) ++number;
    display_ = std::string(":").append(std::to_string(number));
    pid_ = fork();
    if (pid_ == 0) {
        execlp("Xvfb", "Xvfb", display_.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
    for (int waited = 0; waited < 100; ++waited) {
        if (pid_ <= 0 || waitpid(pid_, nullptr, WNOHANG) != 0) break;
        if (std::filesystem::exists(socket)) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (pid_ > 0) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

Xvfb::~Xvfb() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}

FocusedWindow::FocusedWindow(const std::string& display) : display_(XOpenDisplay(display.c_str())) {
    if (!display_) return;
    window_ =
        XCreateSimpleWindow(display_, DefaultRootWindow(display_), 600, 500, 200, 100, 0, 0, 0);
    XMapRaised(display_, window_);
    XSync(display_, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
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

bool RunOnDisplay(const std::string& display, const std::string& command) {
    return std::system(("DISPLAY=" + display + " " + command).c_str()) == 0;
}

}  // namespace testing_support
