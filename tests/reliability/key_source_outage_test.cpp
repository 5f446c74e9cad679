// The X server the keyboard is read from goes away mid-run and another one takes its place.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/x11_key_source.h"
#include "xvfb.h"

namespace {

using testing_support::HeldKey;
using testing_support::SnapshotUntil;
using testing_support::Xvfb;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kScanCodeQ = 16;
// The source tries its server again about once a second.
constexpr auto kReconnectWithin = 3s;

bool AllUp(const platform::KeyboardState& state) {
    return std::all_of(state.begin(), state.end(), [](auto key) { return key == 0; });
}

TEST(KeySourceOutageTest, KeysReadUpWhileTheServerIsGoneAndComeBackWithIt) {
    auto first = std::make_unique<Xvfb>();
    ASSERT_TRUE(first->running()) << first->failure();
    setenv("DISPLAY", first->display().c_str(), 1);
    auto source = platform::X11KeySource::Open();
    ASSERT_TRUE(source);

    platform::KeyboardState state;
    {
        HeldKey q(first->display(), "q");
        ASSERT_TRUE(q.down());
        EXPECT_TRUE(SnapshotUntil(*source, kScanCodeQ, platform::kKeyDown, state))
            << "Q held before the outage";
        first.reset();
    }
    // Its display number is free now for the servers of tests running beside this one: while the
    // server is away, DISPLAY names none.
    unsetenv("DISPLAY");
    for (const auto gone = Clock::now(); Clock::now() - gone < 1500ms;) {
        state.fill(platform::kKeyDown);
        EXPECT_FALSE(source->Snapshot(state)) << "a snapshot without a server";
        ASSERT_TRUE(AllUp(state)) << "a snapshot without a server";
        std::this_thread::sleep_for(5ms);
    }

    // Each server picks its own display: the new one is found where DISPLAY names it now.
    Xvfb second;
    ASSERT_TRUE(second.running()) << second.failure();
    setenv("DISPLAY", second.display().c_str(), 1);
    bool back = false;
    for (const auto started = Clock::now(); !back && Clock::now() - started < kReconnectWithin;
         std::this_thread::sleep_for(5ms))
        back = source->Snapshot(state);
    ASSERT_TRUE(back) << "the source did not reconnect";
    EXPECT_TRUE(AllUp(state));
    HeldKey q(second.display(), "q");
    ASSERT_TRUE(q.down());
    EXPECT_TRUE(SnapshotUntil(*source, kScanCodeQ, platform::kKeyDown, state))
        << "Q held on the new server";
}

}  // namespace
