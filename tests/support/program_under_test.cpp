#include "program_under_test.h"

// Xlib last: its macros clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "poll_until.h"

namespace testing_support {

namespace fs = std::filesystem;

double NoteFrequency(int note) {
    return 130.81 * std::pow(2.0, (note - 1) / 12.0);
}

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
    fs::copy_file(TONARIUM_SOUND_CONFIG, folder() / "alsoft.conf");
    std::ofstream(folder() / "capture.conf")
        << "[wave]\nfile = " << (folder() / "capture.wav").string() << "\n";
    if (options_.writeLibrary) WriteFixtureLibrary(folder());
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
    pid_ = fork();
    if (pid_ != 0) return;
    setenv("DISPLAY", xvfb_.display().c_str(), 1);
    setenv("ALSOFT_DRIVERS", options_.soundDrivers.c_str(), 1);
    setenv("ALSOFT_CONF", (folder() / "capture.conf").c_str(), 1);
    unsetenv("QT_QPA_PLATFORM");
    const std::string errors = (folder() / "errors.log").string();
    freopen(errors.c_str(), "w", stderr);
    std::string program = (folder() / "tonarium").string();
    std::vector<char*> argv{program.data()};
    std::string sound = "--sound", openAl = "openal";
    if (options_.soundDrivers == "wave") argv.insert(argv.end(), {sound.data(), openAl.data()});
    for (std::string& argument : options_.arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
}

bool ProgramUnderTest::Running() {
    return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0;
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
                                   const std::function<bool(const QImage&)>& wanted,
                                   double seconds) {
    QImage picture;
    PollUntil([&] { return wanted(picture = Grab(window)); }, seconds,
              std::chrono::milliseconds(50));
    return picture;
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

int ProgramUnderTest::Quit(double seconds) {
    const unsigned long window = MainWindow();
    if (!window) return -1;
    // "Выход" is the tall button at the right of the button frame.
    Xdotool("mousemove --window " + std::to_string(window) + " 376 48 click 1");
    return EndWith(0, seconds);
}

int ProgramUnderTest::EndWith(int signal, double seconds) {
    if (signal) kill(pid_, signal);
    int status = 0;
    if (!PollUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, seconds)) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ProgramUnderTest::Errors() const {
    std::ifstream file(folder() / "errors.log");
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<float> ProgramUnderTest::CapturedSound(int* sampleRate) {
    SF_INFO info{};
    SNDFILE* file = sf_open((folder() / "capture.wav").c_str(), SFM_READ, &info);
    if (!file) return {};
    std::vector<float> samples(static_cast<std::size_t>(info.frames) * info.channels);
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    if (sampleRate) *sampleRate = info.samplerate;
    if (info.channels == 2) return samples;
    std::vector<float> stereo;  // the wave writer follows the device's channels
    for (std::size_t i = 0; i < samples.size(); i += info.channels)
        stereo.insert(stereo.end(), {samples[i], samples[i + (info.channels > 1)]});
    return stereo;
}

}  // namespace testing_support
