// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>

#include <QImage>
#include <QRect>
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "sound_server.h"
#include "wav_fixtures.h"
#include "xvfb.h"

namespace testing_support {

// Writes a sample library into folder/wav: piano 0..36 and organ 1..36. Note n is a sine at
// NoteFrequency(n) (organ an octave higher), 0.6 s long; slot 0 is a short silence.
void WriteFixtureLibrary(const std::filesystem::path& folder);

// How the program ended: its exit status (128 + the signal that ended it), or -1 when it did not
// end in time. Then `account` tells why (no window to click «Выход» in, or the window still shown
// or gone while the process lives), with the program's standard error and its threads'
// backtraces, and a failed EXPECT_EQ(program.Quit(), 0) prints it.
struct Exit {
    int status = -1;
    std::string account = {};
    operator int() const { return status; }
};
void PrintTo(const Exit& exit, std::ostream* out);

// The built program, copied into a folder of its own with a sample library beside it, running
// on a virtual X server, its sound played to a private PulseAudio server whose output is recorded.
class ProgramUnderTest {
  public:
    // The rate of the server that records the program's sound.
    static constexpr int kSoundRate = 48000;
    // The keyboard drawing in the main window's client area (its frame, then the picture).
    static constexpr QRect kKeyboardDrawing{8 + 4, 92 + 12, 412, 144};

    // Where the program's sound goes: a server of the program's own whose output is recorded,
    // the sound server the test has exported, or no server at all.
    enum class Sound { kRecorded, kTestsServer, kNone };
    struct Options {
        bool writeLibrary = true;  // else the test fills folder()/wav itself before Start
        Sound sound = Sound::kRecorded;
        std::vector<std::string> arguments = {};
    };

    ProgramUnderTest(const Xvfb& xvfb, Options options);
    ProgramUnderTest(const Xvfb& xvfb) : ProgramUnderTest(xvfb, Options{}) {}
    ~ProgramUnderTest();

    const std::filesystem::path& folder() const { return dir_.path(); }
    void Start();
    bool Running();
    pid_t Pid() const { return pid_; }
    // Waits for a window with exactly this title; 0 when none came within the timeout.
    unsigned long WaitForWindow(const std::string& title, double seconds = 10);
    unsigned long MainWindow() { return WaitForWindow("Музыкальный тонариум v 1.01"); }
    // A window with this title shown now, or 0. The program's messages at start come before its
    // main window shows, so once that is there one look tells whether any came.
    unsigned long FindWindow(const std::string& title) { return WaitForWindow(title, 0); }
    // Runs xdotool with these arguments on the program's display.
    bool Xdotool(const std::string& arguments);
    // Presses or releases a key (an X key name: "q", "backslash") through XTest, at once.
    void Key(const std::string& name, bool down);
    // The window's content as it is on the screen.
    QImage Grab(unsigned long window);
    // Grabs until the picture satisfies `wanted` or the time is up; the last picture grabbed.
    // Waiting on the picture rather than sleeping keeps the tests right on a slow machine.
    QImage GrabUntil(unsigned long window, const std::function<bool(const QImage&)>& wanted,
                     double seconds = 5,
                     std::chrono::milliseconds interval = std::chrono::milliseconds(50));
    // Whether the main window's picture shows the note's key lit: its face salmon where the label
    // is not.
    static bool Lit(const QImage& mainWindow, int note);
    // Whether it shows the note's key marked as one to press next: its face green.
    static bool Marked(const QImage& mainWindow, int note);
    // The picture once it has stopped changing: a window just shown may still be painting.
    QImage SteadyGrab(unsigned long window, double seconds = 5);
    // Clicks "Выход" and waits for the program to end.
    Exit Quit(double seconds = 10);
    // Sends the signal (none for 0) and waits for the program to end.
    Exit EndWith(int signal, double seconds = 10);
    // What the program wrote on standard error so far.
    std::string Errors() const;
    // With Sound::kRecorded: the left channel of what the program's server played, `seconds`
    // of it from its first sound since the start or `since`; empty when nothing was heard within
    // the wait.
    std::vector<float> FirstSoundHeard(double seconds, std::chrono::milliseconds wait = {},
                                       std::chrono::steady_clock::time_point since = {}) const;
    // With Sound::kRecorded: what the recording lost of it (MonitorRecorder::Overruns).
    int RecordingOverruns() const { return recorder_ ? recorder_->Overruns() : 0; }

  private:
    // Waits for the program to end; why it did not, when it did not: `why` and what Account adds.
    Exit AwaitEnd(double seconds, const std::string& why);
    // The program's windows shown now, its standard error and its threads' backtraces.
    std::string Account();

    const Xvfb& xvfb_;
    Options options_;
    TempDir dir_;
    std::unique_ptr<SoundServer> server_;
    std::unique_ptr<MonitorRecorder> recorder_;
    std::chrono::steady_clock::time_point started_;
    pid_t pid_ = -1;
    Display* display_ = nullptr;
};

}  // namespace testing_support
