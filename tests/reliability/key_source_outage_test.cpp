// The X server the keyboard is read from goes away mid-run and comes back on the same display.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <memory>

#include "platform/x11_key_source.h"
#include "xvfb.h"

namespace {

using testing_support::RunOnDisplay;
using testing_support::Xvfb;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kScanCodeQ = 16;
// The source tries its server again about once a second.
constexpr auto kReconnectWithin = 3s;

bool AllUp(const platform::KeyboardState& state) {
    return std::all_of(state.begin(), state.end(), [](auto key) { return key == 0; });
}

// Holds Q down on the display for a second, from a client that stays connected meanwhile.
bool HoldQ(const std::string& display) {
    return RunOnDisplay(display, "xdotool keydown q sleep 1 keyup q & sleep 0.3");
}

TEST(KeySourceOutageTest, KeysReadUpWhileTheServerIsGoneAndComeBackWithIt) {
    auto first = std::make_unique<Xvfb>();
    if (!first->running()) GTEST_SKIP() << "Xvfb is not installed";
    const std::string display = first->display();
    setenv("DISPLAY", display.c_str(), 1);
    auto source = platform::X11KeySource::Open();
    ASSERT_TRUE(source);

    platform::KeyboardState state;
    ASSERT_TRUE(HoldQ(display));
    ASSERT_TRUE(source->Snapshot(state));
    EXPECT_EQ(state[kScanCodeQ], platform::kKeyDown) << "Q held before the outage";

    first.reset();
    for (const auto gone = Clock::now(); Clock::now() - gone < 1500ms;) {
        state.fill(platform::kKeyDown);
        EXPECT_FALSE(source->Snapshot(state)) << "a snapshot without a server";
        ASSERT_TRUE(AllUp(state)) << "a snapshot without a server";
        std::this_thread::sleep_for(5ms);
    }

    Xvfb second;
    if (second.display() != display) GTEST_SKIP() << "the display number was taken meanwhile";
    bool back = false;
    for (const auto started = Clock::now(); !back && Clock::now() - started < kReconnectWithin;
         std::this_thread::sleep_for(5ms))
        back = source->Snapshot(state);
    ASSERT_TRUE(back) << "the source did not reconnect";
    EXPECT_TRUE(AllUp(state));
    ASSERT_TRUE(HoldQ(display));
    ASSERT_TRUE(source->Snapshot(state));
    EXPECT_EQ(state[kScanCodeQ], platform::kKeyDown) << "Q held on the new server";
}

}  // namespace
