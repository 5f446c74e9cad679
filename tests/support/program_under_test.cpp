// SPDX-License-Identifier: MIT
#include "program_under_test.h"

// Xlib last: its macros clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "forms/art/keyboard_art.h"
#include "poll_until.h"

namespace testing_support {

namespace fs = std::filesystem;

void WriteFixtureLibrary(const fs::path& folder) {
    fs::create_directories(folder / "wav/piano");
    fs::create_directories(folder / "wav/organ");
    WriteToneWav((folder / "wav/piano/0.wav").string(), ToneSpec{.seconds = 0.1, .amplitude = 0});
    for (int note = 1; note <= 36; ++note) {
        const std::string name = std::to_string(note) + ".wav";
        WriteToneWav((folder / "wav/piano" / name).string(),
                     ToneSpec{.frequency = NoteFrequency(note), .seconds = 0.6, .amplitude = 0.5});
        WriteToneWav(
            (folder / "wav/organ" / name).string(),
            ToneSpec{.frequency = 2 * NoteFrequency(note), .seconds = 0.6, .amplitude = 0.5});
    }
}

ProgramUnderTest::ProgramUnderTest(const Xvfb& xvfb, Options options)
    : xvfb_(xvfb), options_(std::move(options)) {
    fs::copy_file(TONARIUM_EXECUTABLE, folder() / "tonarium");
    fs::copy_file(TONARIUM_SONG_READER, folder() / "tonarium-song-reader");
    fs::copy_file(TONARIUM_SOUND_CONFIG, folder() / "alsoft.conf");
    if (options_.writeLibrary) WriteFixtureLibrary(folder());
    if (options_.sound == Sound::kRecorded) {
        server_ = std::make_unique<SoundServer>(SoundServer::Kind::kPulseAudio, kSoundRate);
        recorder_ = std::make_unique<MonitorRecorder>(*server_);
    }
    display_ = XOpenDisplay(xvfb_.display().c_str());
}

ProgramUnderTest::~ProgramUnderTest() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (display_) XCloseDisplay(display_);
}

void ProgramUnderTest::Start() {
    started_ = std::chrono::steady_clock::now();
    pid_ = fork();
    if (pid_ != 0) return;
    setenv("DISPLAY", xvfb_.display().c_str(), 1);
    if (server_) {
        server_->Export();
    } else if (options_.sound == Sound::kNone) {
        // A runtime folder of its own with no server in it.
        const fs::path runtime = folder() / "runtime";
        fs::create_directory(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        setenv("PULSE_SERVER", ("unix:" + (runtime / "none").string()).c_str(), 1);
    }
    unsetenv("QT_QPA_PLATFORM");
    const std::string errors = (folder() / "errors.log").string();
    freopen(errors.c_str(), "w", stderr);
    std::string program = (folder() / "tonarium").string();
    std::vector<char*> argv{program.data()};
    for (std::string& argument : options_.arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
}

bool ProgramUnderTest::Running() {
    return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0;
}

void ProgramUnderTest::Key(const std::string& name, bool down) {
    if (!display_) return;
    XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, XStringToKeysym(name.c_str())), down, 0);
    XFlush(display_);
}

bool ProgramUnderTest::Xdotool(const std::string& arguments) {
    return RunOnDisplay(xvfb_.display(), "xdotool " + arguments + " >/dev/null 2>&1");
}

unsigned long ProgramUnderTest::WaitForWindow(const std::string& title, double seconds) {
    const std::string command = "DISPLAY=" + xvfb_.display() +
                                " xdotool search --onlyvisible --name '^" + title +
                                "$' 2>/dev/null";
    unsigned long window = 0;
    PollUntil(
        [&] {
            FILE* search = popen(command.c_str(), "r");
            if (!search) return false;
            const int found = fscanf(search, "%lu", &window);
            pclose(search);
            return found == 1;
        },
        seconds, std::chrono::milliseconds(100));
    return window;
}

QImage ProgramUnderTest::Grab(unsigned long window) {
    XWindowAttributes attributes{};
    if (!display_ || !XGetWindowAttributes(display_, window, &attributes)) return {};
    XImage* image =
        XGetImage(display_, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (!image) return {};
    QImage grabbed(attributes.width, attributes.height, QImage::Format_RGB32);
    for (int y = 0; y < attributes.height; ++y)
        for (int x = 0; x < attributes.width; ++x)
            grabbed.setPixel(x, y, static_cast<QRgb>(XGetPixel(image, x, y)) | 0xff000000u);
    XDestroyImage(image);
    return grabbed;
}

QImage ProgramUnderTest::GrabUntil(unsigned long window,
                                   const std::function<bool(const QImage&)>& wanted, double seconds,
                                   std::chrono::milliseconds interval) {
    QImage picture;
    PollUntil([&] { return wanted(picture = Grab(window)); }, seconds, interval);
    return picture;
}

namespace {

// Whether the face of the note's key, beside its label, is near this colour.
bool KeyFace(const QImage& mainWindow, int note, int red, int green, int blue) {
    const QRect key =
        forms::art::HighlightRect(note).translated(ProgramUnderTest::kKeyboardDrawing.topLeft());
    const QRgb pixel = mainWindow.pixel(key.left() + 3, key.center().y());
    return std::abs(qRed(pixel) - red) < 25 && std::abs(qGreen(pixel) - green) < 25 &&
           std::abs(qBlue(pixel) - blue) < 25;
}

}  // namespace

bool ProgramUnderTest::Lit(const QImage& mainWindow, int note) {
    return KeyFace(mainWindow, note, 220, 95, 98);
}

bool ProgramUnderTest::Marked(const QImage& mainWindow, int note) {
    return KeyFace(mainWindow, note, 110, 190, 110);
}

QImage ProgramUnderTest::SteadyGrab(unsigned long window, double seconds) {
    QImage previous;
    return GrabUntil(
        window,
        [&previous](const QImage& picture) {
            const bool steady = !picture.isNull() && picture == previous;
            previous = picture;
            return steady;
        },
        seconds);
}

void PrintTo(const Exit& exit, std::ostream* out) {
    *out << exit.status;
    if (!exit.account.empty()) *out << " (" << exit.account << ")";
}

namespace {

// What a shell command wrote on its standard output and error.
std::string Output(const std::string& command) {
    std::string text;
    if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
        char buffer[4096];
        for (std::size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            text.append(buffer, got);
        pclose(pipe);
    }
    return text;
}

}  // namespace

Exit ProgramUnderTest::Quit(double seconds) {
    const unsigned long window = MainWindow();
    if (!window) return AwaitEnd(0, "no main window to click «Выход» in");
    // "Выход" is the tall button at the right of the button frame.
    Xdotool("mousemove --window " + std::to_string(window) + " 376 48 click 1");
    return AwaitEnd(seconds, "«Выход» clicked");
}

Exit ProgramUnderTest::EndWith(int signal, double seconds) {
    if (signal) kill(pid_, signal);
    return AwaitEnd(seconds, signal ? "signal " + std::to_string(signal) + " sent" : "waited");
}

Exit ProgramUnderTest::AwaitEnd(double seconds, const std::string& why) {
    int status = 0;
    if (PollUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, seconds)) {
        pid_ = -1;
        if (WIFEXITED(status)) return {WEXITSTATUS(status)};
        return {128 + WTERMSIG(status), "ended by signal " + std::to_string(WTERMSIG(status)) +
                                            "; its standard error:\n" + Errors()};
    }
    char waited[64];
    std::snprintf(waited, sizeof waited, ": still running %.1f s later", seconds);
    return {-1, why + waited + Account()};
}

std::string ProgramUnderTest::Account() {
    const std::string pid = std::to_string(pid_);
    // A program stuck on its way out has closed its windows; one stuck in its event loop has not.
    const std::string windows =
        Output("export DISPLAY=" + xvfb_.display() + "; for w in $(xdotool search --onlyvisible " +
               "--pid " + pid + " 2>/dev/null); do xdotool getwindowname $w; done");
    return "\nits windows shown: " + (windows.empty() ? "none\n" : windows) +
           "its standard error:\n" + Errors() + "its threads:\n" +
           Output("timeout 30 gdb -p " + pid + " -batch -nx -ex 'set pagination off' " +
                  "-ex 'thread apply all bt' 2>&1 | grep -v '^\\[New LWP\\|^warning:'");
}

std::string ProgramUnderTest::Errors() const {
    std::ifstream file(folder() / "errors.log");
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<float> ProgramUnderTest::FirstSoundHeard(
    double seconds, std::chrono::milliseconds wait,
    std::chrono::steady_clock::time_point since) const {
    if (!recorder_) return {};
    const auto heard = recorder_->WaitForSound(std::max(started_, since), wait);
    if (!heard) return {};
    return recorder_->LeftChannel(*heard, static_cast<std::size_t>(seconds * kSoundRate));
}

}  // namespace testing_support
