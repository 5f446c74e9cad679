// SPDX-License-Identifier: MIT
#include "platform/keys/keys.h"

#include <gtest/gtest.h>

namespace {

using platform::KeyPresses;

// Two sources reporting into one record.
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

    KeyPresses record;
    platform::KeyReport x11 = record.NewSource();
    platform::KeyReport window = record.NewSource();
    int announced = 0;
};

TEST_F(KeyPressesTest, APressCountsWhenNoSourceHadTheKeyDown) {
    // In one batch: both sources have it down, then both let go.
    x11.Down(16);
    window.Down(16);
    x11.Up(16);
    EXPECT_TRUE(record.Held(16)) << "held while any source has it down";
    window.Up(16);
    EXPECT_TRUE(record.TakePress(16));
    EXPECT_FALSE(record.TakePress(16));

    // However soon after the last press, a press by any source counts.
    Tap(x11, 30);
    EXPECT_TRUE(record.TakePress(30));
    Tap(window, 30);
    EXPECT_TRUE(record.TakePress(30));
    Tap(x11, 30);
    EXPECT_TRUE(record.TakePress(30));
    EXPECT_EQ(announced, 3);
}

TEST_F(KeyPressesTest, ALostSourceLetsGoOfItsKeysOnly) {
    // A source that loses its device lets go of its keys; the other's keys stay held.
    x11.Down(2);
    window.Down(3);
    x11.AllUp();
    EXPECT_FALSE(record.Held(2));
    EXPECT_TRUE(record.Held(3));
    platform::KeyboardState state{};
    record.Read(state);
    EXPECT_EQ(state[2], platform::kKeyDown) << "its press has not been read yet";
    record.TakePress(2);
    record.Read(state);
    EXPECT_EQ(state[2], 0);
}

}  // namespace
