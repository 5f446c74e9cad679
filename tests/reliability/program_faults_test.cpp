// SPDX-License-Identifier: MIT
// The built program with parts of its world taken away: no sound device, no samples, samples
// that are not sound. Each time the window must come up and answer the keys.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <random>

#include "program_under_test.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

constexpr const char* kMessageTitle = "Тонариум";
constexpr int kPianoFiles = 37;  // 0.wav to 36.wav

// True when holding the key changes the keyboard drawing and letting go puts it back. The rest of
// the window is left out: a button still repainting after a click must not count.
bool KeyLights(ProgramUnderTest& program, unsigned long window, const std::string& key) {
    const auto drawing = [](const QImage& picture) {
        return picture.copy(ProgramUnderTest::kKeyboardDrawing);
    };
    const QImage before = drawing(program.SteadyGrab(window));
    program.Xdotool("keydown " + key);
    const QImage held =
        program.GrabUntil(window, [&](const QImage& now) { return drawing(now) != before; });
    program.Xdotool("keyup " + key);
    const QImage after =
        program.GrabUntil(window, [&](const QImage& now) { return drawing(now) == before; });
    return !before.isNull() && drawing(held) != before && drawing(after) == before;
}

// Answers the program's message boxes with Return as they come, in order; their sizes.
std::vector<QSize> DismissMessages(ProgramUnderTest& program, int count) {
    std::vector<QSize> sizes;
    unsigned long previous = 0;
    while (static_cast<int>(sizes.size()) < count) {
        unsigned long box = 0;
        for (int tries = 0; tries < 100 && (box == 0 || box == previous); ++tries)
            box = program.WaitForWindow(kMessageTitle, 0.1);
        if (box == 0 || box == previous) break;
        sizes.push_back(program.Grab(box).size());
        program.Xdotool("windowfocus --sync " + std::to_string(box) + " key Return");
        previous = box;
    }
    return sizes;
}

class ProgramFaultsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(xvfb_.running()) << xvfb_.failure(); }
    Xvfb xvfb_;
};

TEST_F(ProgramFaultsTest, WithoutAnySoundDeviceTheWindowWorksSilently) {
    ProgramUnderTest program(xvfb_, {.sound = ProgramUnderTest::Sound::kNone});
    program.Start();
    const unsigned long window = program.MainWindow();
    ASSERT_NE(window, 0u);
    EXPECT_EQ(program.FindWindow(kMessageTitle), 0u) << "no message about the sound";
    EXPECT_TRUE(KeyLights(program, window, "q"));
    program.Xdotool("mousemove --window " + std::to_string(window) + " 74 72 click 1");  // Орган
    EXPECT_TRUE(KeyLights(program, window, "backslash"));
    EXPECT_EQ(program.Quit(), 0);
    // The line names what each output's library said, which depends on the machine.
    const std::string errors = program.Errors();
    EXPECT_EQ(errors.rfind("Тонариум: no sound output can be opened", 0), 0u) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1)
        << "one line, however long it tries:\n"
        << errors;
}

TEST_F(ProgramFaultsTest, EverySampleMissingGivesOneMessageEachThenAWorkingWindow) {
    ProgramUnderTest program(xvfb_, {.writeLibrary = false});
    program.Start();
    EXPECT_EQ(DismissMessages(program, kPianoFiles).size(), std::size_t{kPianoFiles});
    const unsigned long window = program.MainWindow();
    ASSERT_NE(window, 0u);
    EXPECT_EQ(program.FindWindow(kMessageTitle), 0u) << "one message too many";
    EXPECT_TRUE(KeyLights(program, window, "a"));
    EXPECT_EQ(program.Quit(), 0);
}

TEST_F(ProgramFaultsTest, UnreadableSamplesAreReportedWithTheirPathAndLoadingGoesOn) {
    ProgramUnderTest program(xvfb_, {.writeLibrary = false});
    const fs::path piano = program.folder() / "wav/piano";
    fs::create_directories(piano);
    std::mt19937 random(7);
    for (int n = 0; n < kPianoFiles; ++n) {
        if (n == 1) continue;  // one missing file among them, for its shorter message
        std::string garbage(64 + random() % 4000, '\0');
        for (char& byte : garbage) byte = static_cast<char>(random());
        if (n % 2) garbage.replace(0, 12, std::string("RIFF\x10\0\0\0WAVE", 12));
        WriteBytes((piano / (std::to_string(n) + ".wav")).string(), garbage);
    }
    program.Start();
    const std::vector<QSize> sizes = DismissMessages(program, kPianoFiles);
    ASSERT_EQ(sizes.size(), std::size_t{kPianoFiles});
    for (int n = 0; n < kPianoFiles; ++n) {
        if (n == 1) continue;
        EXPECT_GT(sizes[n].height(), sizes[1].height())
            << n << ".wav: the unreadable-file message names the file on a second line";
    }
    const unsigned long window = program.MainWindow();
    ASSERT_NE(window, 0u);
    EXPECT_TRUE(KeyLights(program, window, "1"));
    EXPECT_EQ(program.Quit(), 0);
}

}  // namespace
