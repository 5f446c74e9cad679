// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "dx/direct_sound_module.h"
#include "fake_backends.h"

namespace {

using core::kFalse;
using core::kTrue;
using testing_support::LoopbackBackends;
using testing_support::RecordingHighlights;

class KeyboardReaderTest : public ::testing::Test {
  protected:
    KeyboardReaderTest() : module(image1, backends.Make()) { module.InitKeyboard(1); }

    // One test of a key as the poll loop makes it.
    core::Truth Test(std::uint8_t note, std::uint8_t keyCode) {
        module.CurrentNote = note;
        return module.KeyJustPressed(keyCode);
    }

    LoopbackBackends backends;
    RecordingHighlights image1;
    dx::DirectSoundModule module;
};

TEST_F(KeyboardReaderTest, HeldKeyReportsItsPressOnceAndStaysLit) {
    EXPECT_EQ(Test(2, 16), kFalse) << "a key up on its first test";
    EXPECT_TRUE(image1.shown.empty());

    backends.keyboard.Press(16);
    EXPECT_EQ(Test(2, 16), kTrue);
    EXPECT_EQ(Test(2, 16), kFalse);
    EXPECT_EQ(Test(2, 16), kFalse);
    EXPECT_EQ(image1.shown, (std::vector<int>{2, 2, 2}));

    backends.keyboard.Release(16);
    EXPECT_EQ(Test(2, 16), kFalse);
    EXPECT_EQ(image1.shown.size(), 3u) << "a released key leaves the highlight alone";
    backends.keyboard.Press(16);
    EXPECT_EQ(Test(2, 16), kTrue) << "pressed again after a release";
}

TEST_F(KeyboardReaderTest, EachKeyReportsItsOwnPress) {
    backends.keyboard.Press(16);
    backends.keyboard.Press(30);
    EXPECT_EQ(Test(2, 16), kTrue);
    EXPECT_EQ(Test(3, 30), kTrue);
    EXPECT_EQ(Test(2, 16), kFalse);
    backends.keyboard.Release(16);
    EXPECT_EQ(Test(2, 16), kFalse);
    EXPECT_EQ(Test(3, 30), kFalse) << "releasing Q must not start A again";
}

TEST_F(KeyboardReaderTest, CurrentNoteNotTheKeyChoosesTheHighlight) {
    backends.keyboard.Press(43);
    Test(5, 43);
    EXPECT_EQ(image1.shown, std::vector<int>{5});
}

TEST_F(KeyboardReaderTest, HighlightErrorLeavesThePressToReport) {
    backends.keyboard.Press(2);
    EXPECT_THROW(Test(0, 2), core::RunTimeError);
    EXPECT_EQ(Test(1, 2), kTrue) << "the failed test must not have taken the press";
}

TEST_F(KeyboardReaderTest, KeyCodesOutsideTheStateRaiseSubscriptAfterTheSnapshot) {
    for (std::int16_t code : {256, -1}) {
        const int before = backends.keyboard.polls;
        try {
            module.IsKeyDown(code);
            FAIL() << "no error for " << code;
        } catch (const core::RunTimeError& error) {
            EXPECT_EQ(error.number(), 9);
        }
        EXPECT_EQ(backends.keyboard.polls, before + 1);
    }
    backends.keyboard.Press(255);
    EXPECT_EQ(module.IsKeyDown(255), kTrue);
    EXPECT_EQ(module.IsKeyDown(0), kFalse);
}

TEST_F(KeyboardReaderTest, TapsBetweenLooksPlayOnceEachAndLostDevicesStickNothing) {
    backends.keyboard.Tap(16);
    EXPECT_EQ(Test(2, 16), kTrue) << "a tap between two looks reads down for one";
    EXPECT_EQ(Test(2, 16), kFalse);
    EXPECT_EQ(image1.shown, std::vector<int>{2});

    backends.keyboard.Press(30);
    EXPECT_EQ(Test(3, 30), kTrue);
    backends.keyboard.Release(30);  // let go and pressed again between two looks
    backends.keyboard.Press(30);
    EXPECT_EQ(Test(3, 30), kTrue) << "a new press, though both looks saw the key down";

    backends.keyboard.LoseDevice();
    EXPECT_EQ(Test(3, 30), kFalse) << "a lost device lets go of its keys";
    backends.keyboard.RegainDevice();
    EXPECT_EQ(Test(3, 30), kTrue) << "held on the device that came back";
}

TEST_F(KeyboardReaderTest, WithoutDeviceEveryKeyReadsUp) {
    backends.keyboard.Press(16);
    module.ReleaseKeyboard();
    EXPECT_EQ(module.IsKeyDown(16), kFalse);
    EXPECT_EQ(Test(2, 16), kFalse);
    module.InitKeyboard(1);
    EXPECT_EQ(Test(2, 16), kTrue);
}

}  // namespace
