// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "audio_analysis.h"
#include "program_under_test.h"

namespace {

using namespace testing_support;
using namespace std::chrono_literals;

constexpr auto Lit = &ProgramUnderTest::Lit;

TEST(MainWindowEndToEnd, KeysPlayAndLightWhileAnotherWindowHasTheFocus) {
    Xvfb xvfb;
    ASSERT_TRUE(xvfb.running()) << xvfb.failure();
    ProgramUnderTest program(xvfb);
    program.Start();
    const unsigned long window = program.MainWindow();
    ASSERT_NE(window, 0u) << "the main window did not open";
    EXPECT_EQ(program.FindWindow("Тонариум"), 0u) << "a message box came up";

    FocusedWindow other(xvfb.display());
    ASSERT_TRUE(other.HasFocus());

    const auto pressed = std::chrono::steady_clock::now();
    ASSERT_TRUE(program.Xdotool("keydown q"));
    const QImage held = program.GrabUntil(window, [](const QImage& now) { return Lit(now, 2); });
    ASSERT_TRUE(program.Xdotool("keyup q"));
    const QImage released =
        program.GrabUntil(window, [](const QImage& now) { return !Lit(now, 2); });
    EXPECT_TRUE(Lit(held, 2)) << "Q held: note 2 lit";
    EXPECT_FALSE(Lit(held, 3));
    EXPECT_FALSE(Lit(released, 2)) << "Q released: note 2 dark";
    EXPECT_TRUE(other.HasFocus()) << "the program must not take the focus";

    std::this_thread::sleep_until(pressed + 700ms);  // let the note sound out
    const std::vector<float> sound = program.FirstSoundHeard(0.5);
    ASSERT_FALSE(sound.empty()) << "the note was not heard";
    EXPECT_NEAR(RecordedPitch(sound, ProgramUnderTest::kSoundRate), NoteFrequency(2),
                NoteFrequency(2) * 0.01)
        << "the pitch heard is that of note 2; the recording lost " << program.RecordingOverruns()
        << " stretches of it; the program said (an output that fell behind says so):\n"
        << program.Errors();
    float peak = 0;
    for (float sample : sound) peak = std::max(peak, std::fabs(sample));
    EXPECT_NEAR(peak, 0.5, 0.05) << "one strike, at the sample's level";
    EXPECT_EQ(program.Quit(), 0);
}

}  // namespace
