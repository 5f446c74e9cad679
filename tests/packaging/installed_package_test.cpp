// SPDX-License-Identifier: MIT
// The Debian package as a user gets it: unpacked into a temporary root, its files in place, its
// desktop files and manual page valid, nothing lintian objects to, and the installed program,
// started through its bin/ link under a virtual X server, finding every sample and sounding a
// pressed key.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "forms/art/icons.h"
#include "poll_until.h"
#include "sound_server.h"
#include "wav_fixtures.h"
#include "xvfb.h"

// Last: Xlib defines macros that clash with names in Qt and GoogleTest.
#include <X11/Xlib.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::TempDir;
using testing_support::Xvfb;

const std::string kMainWindowTitle = "Музыкальный тонариум v 1.01";
const std::string kMessageBoxTitle = "Тонариум";

struct CommandResult {
    bool ok = false;
    std::string output;  // stdout and stderr together
};

CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    while (const std::size_t read = fread(buffer, 1, sizeof buffer, pipe))
        result.output.append(buffer, read);
    result.ok = pclose(pipe) == 0;
    return result;
}

std::string Quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

std::string Contents(const fs::path& file) {
    std::ostringstream text;
    text << std::ifstream(file, std::ios::binary).rdbuf();
    return text.str();
}

// The one file in folder whose name ends with suffix, or an empty path.
fs::path OnlyFileEndingWith(const fs::path& folder, const std::string& suffix) {
    std::vector<fs::path> found;
    if (fs::is_directory(folder))
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().string().ends_with(suffix)) found.push_back(entry.path());
    return found.size() == 1 ? found.front() : fs::path();
}

// The first visible window with exactly this title, or 0.
unsigned long FindWindow(const std::string& display, const std::string& title) {
    const auto search =
        RunCommand("DISPLAY=" + display + " xdotool search --onlyvisible --name '^" + title + "$'");
    return search.ok ? std::strtoul(search.output.c_str(), nullptr, 10) : 0;
}

// What the window's close box does: asks the program to close the window.
void RequestClose(const std::string& displayName, unsigned long window) {
    Display* display = XOpenDisplay(displayName.c_str());
    if (!display) return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XCloseDisplay(display);
}

// A program started on a display, its sound played to the server the test exported; killed if
// the test leaves it running.
class RunningProgram {
  public:
    RunningProgram(const fs::path& executable, const std::string& display) {
        pid_ = fork();
        if (pid_ != 0) return;
        setenv("DISPLAY", display.c_str(), 1);
        unsetenv("QT_QPA_PLATFORM");
        // Its folder must come from the link, not from where it is started.
        if (chdir("/") != 0) _exit(126);
        execl(executable.c_str(), executable.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ~RunningProgram() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }

    // Exit status once it has ended within the time, else -1.
    int WaitForExit(double seconds) {
        int status = 0;
        if (!testing_support::PollUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; },
                                        seconds))
            return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

  private:
    pid_t pid_ = -1;
};

class InstalledPackage : public testing::Test {
  protected:
    void SetUp() override {
        const fs::path package = OnlyFileEndingWith(TONARIUM_PACKAGE_DIR, ".deb");
        ASSERT_FALSE(package.empty()) << "no single package in " TONARIUM_PACKAGE_DIR;
        package_ = package;
        const auto unpacked =
            RunCommand("dpkg-deb -x " + Quoted(package_) + " " + Quoted(root_.path()));
        ASSERT_TRUE(unpacked.ok) << unpacked.output;
    }
    fs::path Installed(const std::string& relative) const {
        return root_.path() / "usr" / relative;
    }
    std::string Field(const std::string& name) const {
        const auto field = RunCommand("dpkg-deb -f " + Quoted(package_) + " " + name);
        return field.output.substr(0, field.output.find_last_not_of('\n') + 1);
    }

    fs::path package_;
    TempDir root_;
};

TEST_F(InstalledPackage, ControlRecordAndChangelogNameVersionSectionAndSharedLibraries) {
    EXPECT_EQ(package_.filename().string().rfind("tonarium_" TONARIUM_VERSION_STRING "_", 0), 0u)
        << package_;
    EXPECT_EQ(Field("Package"), "tonarium");
    EXPECT_EQ(Field("Version"), TONARIUM_VERSION_STRING);
    EXPECT_EQ(Field("Section"), "sound");
    const std::string depends = Field("Depends");
    for (const char* library : {"libqt6widgets6", "libopenal1", "libsndfile1", "libxi6", "libsmf0"})
        EXPECT_NE(depends.find(library), std::string::npos) << depends;
    const auto changelog =
        RunCommand("zcat " + Quoted(Installed("share/doc/tonarium/changelog.gz")));
    EXPECT_EQ(changelog.output.rfind("tonarium (" TONARIUM_VERSION_STRING ") ", 0), 0u)
        << "the changelog's latest entry is not this version:\n"
        << changelog.output;
}

TEST_F(InstalledPackage, LintianFindsNoErrorOrWarning) {
    if (!RunCommand("command -v lintian").ok) GTEST_SKIP() << "lintian is not installed";
    const auto lint =
        RunCommand("lintian --fail-on error,warning --display-info --pedantic " + Quoted(package_));
    // Info and pedantic notes pass, but stay in the log.
    std::cout << lint.output;
    EXPECT_TRUE(lint.ok) << "lintian found errors or warnings (above)";
}

// A new option of the program's fails this test until the manual page tells of it.
TEST_F(InstalledPackage, ManualPageRendersCleanlyAndNamesEveryOption) {
    const fs::path page = Installed("share/man/man1/tonarium.1.gz");
    ASSERT_TRUE(fs::is_regular_file(page)) << page;
    if (!RunCommand("command -v man").ok) GTEST_SKIP() << "man is not installed";
    const auto warnings = RunCommand("{ man --warnings -l " + Quoted(page) + " >/dev/null; }");
    EXPECT_TRUE(warnings.ok && warnings.output.empty()) << warnings.output;
    // Wide enough that no option is broken across lines.
    const auto text = RunCommand("MANWIDTH=200 man -l " + Quoted(page));
    ASSERT_TRUE(text.ok) << text.output;

    const auto help = RunCommand(Quoted(Installed("bin/tonarium")) + " --help");
    ASSERT_TRUE(help.ok) << help.output;
    const std::regex longOption("--[a-z][a-z-]*");
    std::set<std::string> options;
    for (auto found = std::sregex_iterator(help.output.begin(), help.output.end(), longOption);
         found != std::sregex_iterator(); ++found)
        options.insert(found->str());
    ASSERT_TRUE(options.contains("--record")) << help.output;
    for (const std::string& option : options)
        EXPECT_TRUE(
            std::regex_search(text.output, std::regex("(^|[^a-z-])" + option + "($|[^a-z-])")))
            << option << " is not in the manual page";
}

TEST_F(InstalledPackage, ProgramSamplesAndSoundSettingsLieTogetherBehindTheBinLink) {
    const fs::path link = Installed("bin/tonarium");
    const fs::path folder = Installed("lib/tonarium");
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(fs::read_symlink(link).is_relative()) << "a relative link works under any root";
    EXPECT_EQ(fs::canonical(link), fs::canonical(folder / "tonarium"));
    EXPECT_EQ(Contents(folder / "alsoft.conf"),
              Contents(TONARIUM_SOURCE_DIR "/src/platform/sound/alsoft.conf"));

    for (int note = 0; note <= 36; ++note) {
        const std::string name = std::to_string(note) + ".wav";
        EXPECT_TRUE(fs::is_regular_file(folder / "wav/piano" / name)) << name;
        if (note > 0) {
            EXPECT_TRUE(fs::is_regular_file(folder / "wav/organ" / name)) << name;
        }
    }
    const fs::path library = TONARIUM_SOURCE_DIR "/assets/wav";
    for (const auto& shipped : fs::recursive_directory_iterator(library)) {
        if (!shipped.is_regular_file()) continue;
        const fs::path installed = folder / "wav" / fs::relative(shipped.path(), library);
        EXPECT_EQ(Contents(installed), Contents(shipped.path())) << installed;
    }
}

TEST_F(InstalledPackage, MenuIconIsTheWindowIconAtEveryThemeSize) {
    for (int size : {16, 22, 24, 32, 48, 64, 72, 128, 256}) {
        const std::string pixels = std::to_string(size) + "x" + std::to_string(size);
        const fs::path file = Installed("share/icons/hicolor/" + pixels + "/apps/tonarium.png");
        const QImage icon(QString::fromStdString(file.string()));
        ASSERT_FALSE(icon.isNull()) << file;
        EXPECT_EQ(icon.convertToFormat(QImage::Format_RGB32),
                  forms::art::PaintMainIcon(size).convertToFormat(QImage::Format_RGB32))
            << file;
    }
}

TEST_F(InstalledPackage, DesktopEntryAndMetainfoValidateAndAgree) {
    const fs::path desktop = OnlyFileEndingWith(Installed("share/applications"), ".desktop");
    const fs::path metainfo = OnlyFileEndingWith(Installed("share/metainfo"), ".metainfo.xml");
    ASSERT_FALSE(desktop.empty());
    ASSERT_FALSE(metainfo.empty());

    const auto desktopCheck = RunCommand("desktop-file-validate " + Quoted(desktop));
    EXPECT_TRUE(desktopCheck.ok && desktopCheck.output.empty()) << desktopCheck.output;
    const auto metainfoCheck = RunCommand("appstreamcli validate --no-net " + Quoted(metainfo));
    EXPECT_TRUE(metainfoCheck.ok) << metainfoCheck.output;

    const std::string entry = Contents(desktop);
    EXPECT_NE(entry.find("\nName=Тонариум\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nExec=tonarium %f\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nMimeType=audio/midi;audio/x-midi;\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nName=Играть через MIDI\nExec=tonarium --midi\n"), std::string::npos);
    EXPECT_NE(entry.find("\nName=Записать игру\nExec=tonarium --record\n"), std::string::npos);
    EXPECT_NE(entry.find("\nIcon=tonarium\n"), std::string::npos) << entry;
    const std::string component = Contents(metainfo);
    EXPECT_NE(component.find("<release version=\"" TONARIUM_VERSION_STRING "\""),
              std::string::npos);
    EXPECT_NE(component.find(">" + desktop.filename().string() + "</launchable>"),
              std::string::npos)
        << component;
}

TEST_F(InstalledPackage, StartedThroughItsLinkItFindsEverySampleAndSoundsAKey) {
    Xvfb xvfb;
    ASSERT_TRUE(xvfb.running()) << xvfb.failure();
    testing_support::SoundServer server;
    ASSERT_TRUE(server.running()) << server.error();
    server.Export();
    const testing_support::MonitorRecorder recorder(server);
    const auto started = std::chrono::steady_clock::now();
    RunningProgram program(Installed("bin/tonarium"), xvfb.display());

    // A missing or unreadable sample shows a message box before the main window.
    unsigned long window = 0;
    unsigned long message = 0;
    testing_support::PollUntil(
        [&] {
            message = FindWindow(xvfb.display(), kMessageBoxTitle);
            window = FindWindow(xvfb.display(), kMainWindowTitle);
            return message || window;
        },
        20, 100ms);
    ASSERT_EQ(message, 0u) << "a sample is missing";
    ASSERT_NE(window, 0u) << "the main window did not appear";
    // The messages come before the main window shows: one more look is enough.
    EXPECT_EQ(FindWindow(xvfb.display(), kMessageBoxTitle), 0u) << "a sample is missing";

    // Held longer than one 40 ms poll of the keyboard; no focus needed.
    ASSERT_TRUE(testing_support::RunOnDisplay(xvfb.display(),
                                              "xdotool keydown q sleep 0.3 keyup q sleep 0.7"));
    EXPECT_TRUE(recorder.WaitForSound(started, 3000ms)) << "the key press was not heard";
    RequestClose(xvfb.display(), window);
    ASSERT_EQ(program.WaitForExit(10), 0);
}

}  // namespace
