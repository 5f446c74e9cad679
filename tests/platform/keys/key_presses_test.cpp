#include "platform/keys/key_presses.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using platform::KeyPresses;

// Two sources reporting into one record on a clock the test moves.
class KeyPressesTest : public testing::Test {
  protected:
    KeyPressesTest() {
        record.OnChanged([this] { ++announced; });
    }

    void Tap(platform::KeyReport& source, unsigned code) {
        source.Down(code);
        source.Up(code);
        source.Changed();
    }

    KeyPresses::Clock::time_point now{};
    KeyPresses record{[this] { return now; }};
    platform::KeyReport x11 = record.NewSource();
    platform::KeyReport window = record.NewSource();
    int announced = 0;
};

TEST_F(KeyPressesTest, OnePressReachingTwoSourcesCountsOnce) {
    // In one batch: both sources have it down, then both let go.
    x11.Down(16);
    window.Down(16);
    x11.Up(16);
    EXPECT_TRUE(record.Held(16)) << "held while any source has it down";
    window.Up(16);
    EXPECT_TRUE(record.TakePress(16));
    EXPECT_FALSE(record.TakePress(16));

    // In two batches, the reader looking between them.
    now += 1s;
    Tap(x11, 30);
    EXPECT_TRUE(record.TakePress(30));
    now += 8ms;
    Tap(window, 30);
    EXPECT_FALSE(record.TakePress(30)) << "the window's report of the same tap";
    EXPECT_EQ(announced, 2);
}

TEST_F(KeyPressesTest, EveryRealPressCounts) {
    Tap(x11, 16);
    Tap(window, 16);
    EXPECT_TRUE(record.TakePress(16));
    now += 30ms;
    Tap(x11, 16);
    EXPECT_TRUE(record.TakePress(16)) << "pressed again soon, reported by the same source";
    now += KeyPresses::kSamePress;
    Tap(window, 16);
    EXPECT_TRUE(record.TakePress(16)) << "a press only the window saw, long after the last";

    // A source that loses its device lets go of its keys; the other's keys stay held.
    x11.Down(2);
    window.Down(3);
    x11.AllUp();
    EXPECT_FALSE(record.Held(2));
    EXPECT_TRUE(record.Held(3));
    platform::KeyboardState state{};
    record.Read(state);
    EXPECT_EQ(state[2], platform::kKeyDown) << "its press has not been looked at yet";
    record.TakePress(2);
    record.Read(state);
    EXPECT_EQ(state[2], 0);
}

}  // namespace
