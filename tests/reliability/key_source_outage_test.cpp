// SPDX-License-Identifier: MIT
// The X server the keyboard is read from goes away mid-run and another one takes its place.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/keys/x11_key_source.h"
#include "xvfb.h"

namespace {

using testing_support::HeldKey;
using testing_support::HeldUntil;
using testing_support::Xvfb;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kScanCodeQ = 16;

bool AllUp(const platform::KeyPresses& record) {
    for (int code = 0; code < 256; ++code)
        if (record.Held(code)) return false;
    return true;
}

TEST(KeySourceOutageTest, KeysReadUpWhileTheServerIsGoneAndComeBackWithIt) {
    auto first = std::make_unique<Xvfb>();
    ASSERT_TRUE(first->running()) << first->failure();
    setenv("DISPLAY", first->display().c_str(), 1);
    auto source = platform::X11KeySource::Open();
    ASSERT_TRUE(source);
    platform::KeyPresses record;
    source->Start(record.NewSource());

    {
        HeldKey q(first->display(), "q");
        ASSERT_TRUE(q.down());
        EXPECT_TRUE(HeldUntil(*source, record, kScanCodeQ, true)) << "Q held before the outage";
        first.reset();
    }
    // Its display number is free now for the servers of tests running beside this one: while the
    // server is away, DISPLAY names none.
    unsetenv("DISPLAY");
    EXPECT_TRUE(HeldUntil(*source, record, kScanCodeQ, false)) << "Q let go with the server";
    for (const auto gone = Clock::now(); Clock::now() - gone < 1500ms;) {
        source->Poll();
        ASSERT_TRUE(AllUp(record)) << "without a server";
        std::this_thread::sleep_for(5ms);
    }

    // Each server picks its own display: the new one is found where DISPLAY names it now.
    Xvfb second;
    ASSERT_TRUE(second.running()) << second.failure();
    setenv("DISPLAY", second.display().c_str(), 1);
    HeldKey q(second.display(), "q");
    ASSERT_TRUE(q.down());
    // The source tries its server again about once a second; HeldUntil waits long enough.
    EXPECT_TRUE(HeldUntil(*source, record, kScanCodeQ, true)) << "Q held on the new server";
}

}  // namespace
