#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "audio_analysis.h"
#include "forms/art/keyboard_art.h"
#include "program_under_test.h"

namespace {

using namespace testing_support;
using namespace std::chrono_literals;

bool IsSalmon(QRgb pixel) {
    return std::abs(qRed(pixel) - 220) < 25 && std::abs(qGreen(pixel) - 95) < 25 &&
           std::abs(qBlue(pixel) - 98) < 25;
}

// A highlight is lit when the face of its key shows salmon where the label is not.
bool Lit(const QImage& window, int note) {
    const QRect key =
        forms::art::HighlightRect(note).translated(ProgramUnderTest::kKeyboardDrawing.topLeft());
    return IsSalmon(window.pixel(key.left() + 3, key.center().y()));
}

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
    held.save("e2e_held.png");
    EXPECT_TRUE(other.HasFocus()) << "the program must not take the focus";

    std::this_thread::sleep_until(pressed + 700ms);  // let the note sound out
    ASSERT_EQ(program.Quit(), 0);
    int rate = 0;
    const std::vector<float> sound = program.CapturedSound(&rate);
    ASSERT_GT(rate, 0) << "nothing was captured";
    const long onset = FirstSoundingFrame(sound, 0.05f);
    ASSERT_GE(onset, 0) << "the note was not heard";
    const std::size_t frames = std::min<std::size_t>(rate / 2, sound.size() / 2 - onset);
    EXPECT_NEAR(EstimateFrequency(sound.data() + onset * 2, frames, 2, rate), NoteFrequency(2),
                NoteFrequency(2) * 0.01)
        << "the captured pitch is that of note 2";
    EXPECT_NEAR(Peak(sound, 0), 0.5, 0.05) << "one strike, at the sample's level";
}

}  // namespace
