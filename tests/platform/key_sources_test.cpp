#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <cstdlib>

#include "fake_backends.h"
#include "platform/evdev_key_source.h"
#include "platform/merged_key_source.h"
#include "platform/window_key_source.h"
#include "platform/x11_key_source.h"
#include "wav_fixtures.h"
#include "xvfb.h"

namespace {

using platform::KeyboardState;
using testing_support::FakeKeyboard;
using testing_support::SnapshotUntil;

// The keys xdotool presses and the scan codes they must read as.
struct XKey {
    const char* name;
    int scanCode;
};
constexpr XKey kKeys[] = {{"1", 2}, {"q", 16}, {"a", 30}, {"backslash", 43}};

TEST(X11KeySourceTest, SeesKeysPressedOnTheServerWithoutTheFocus) {
    testing_support::Xvfb xvfb;
    ASSERT_TRUE(xvfb.running()) << xvfb.failure();
    setenv("DISPLAY", xvfb.display().c_str(), 1);
    auto source = platform::X11KeySource::Open();
    ASSERT_TRUE(source);
    EXPECT_TRUE(source->UsesRawEvents());

    KeyboardState state;
    for (const XKey& key : kKeys) {
        ASSERT_TRUE(testing_support::RunOnDisplay(xvfb.display(),
                                                  std::string("xdotool keydown ") + key.name));
        EXPECT_TRUE(SnapshotUntil(*source, key.scanCode, platform::kKeyDown, state))
            << key.name << " held";
        EXPECT_EQ(std::count(state.begin(), state.end(), platform::kKeyDown), 1) << key.name;
        ASSERT_TRUE(testing_support::RunOnDisplay(xvfb.display(),
                                                  std::string("xdotool keyup ") + key.name));
        EXPECT_TRUE(SnapshotUntil(*source, key.scanCode, 0, state)) << key.name << " released";
    }
}

TEST(X11KeySourceTest, StartsFromTheKeysAlreadyDown) {
    testing_support::Xvfb xvfb;
    ASSERT_TRUE(xvfb.running()) << xvfb.failure();
    setenv("DISPLAY", xvfb.display().c_str(), 1);
    testing_support::HeldKey q(xvfb.display(), "q");
    ASSERT_TRUE(q.down());
    auto source = platform::X11KeySource::Open();
    ASSERT_TRUE(source);
    KeyboardState state;
    ASSERT_TRUE(source->Snapshot(state));
    EXPECT_EQ(state[16], platform::kKeyDown);
}

TEST(X11KeySourceTest, TellsAChangeAtOnceAndATapReadsDownForOneLook) {
    testing_support::Xvfb xvfb;
    ASSERT_TRUE(xvfb.running()) << xvfb.failure();
    setenv("DISPLAY", xvfb.display().c_str(), 1);
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name};
    QCoreApplication app(argc, argv);
    auto source = platform::X11KeySource::Open();
    ASSERT_TRUE(source);
    std::vector<bool> qDown;  // at each look the change handler takes
    source->OnChange([&] {
        KeyboardState state;
        source->Snapshot(state);
        qDown.push_back(state[16] == platform::kKeyDown);
    });
    // The event loop is not running while xdotool does: press and release arrive as one batch.
    ASSERT_TRUE(testing_support::RunOnDisplay(xvfb.display(), "xdotool key --delay 0 q"));
    QElapsedTimer waited;
    waited.start();
    while (qDown.size() < 2 && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(qDown, (std::vector<bool>{true, false}));
}

TEST(X11KeySourceTest, NoServerNoSource) {
    setenv("DISPLAY", ":9999", 1);
    EXPECT_FALSE(platform::X11KeySource::Open());
}

TEST(EvdevKeySourceTest, NoKeyboardsNoSource) {
    testing_support::TempDir empty;
    EXPECT_FALSE(platform::EvdevKeySource::Open(empty.path().c_str()));
}

TEST(MergedKeySourceTest, AKeyIsDownWhenAnySourceHasIt) {
    FakeKeyboard first, second;
    std::vector<std::unique_ptr<platform::KeySource>> sources;
    sources.push_back(first.OpenSource());
    sources.push_back(second.OpenSource());
    platform::MergedKeySource merged(std::move(sources));
    EXPECT_STREQ(merged.Name(), "test+test");

    first.Press(16);
    second.Press(30);
    KeyboardState state;
    ASSERT_TRUE(merged.Snapshot(state));
    EXPECT_EQ(state[16], platform::kKeyDown);
    EXPECT_EQ(state[30], platform::kKeyDown);
    EXPECT_EQ(state[2], 0);

    first.failing = true;
    ASSERT_TRUE(merged.Snapshot(state)) << "one source still reads";
    EXPECT_EQ(state[16], 0);
    EXPECT_EQ(state[30], platform::kKeyDown);
    second.failing = true;
    EXPECT_FALSE(merged.Snapshot(state));
}

TEST(WindowKeySourceTest, FollowsPressesAndReleasesByScanCode) {
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name};
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    platform::WindowKeySource source;
    QObject target;
    auto send = [&](QEvent::Type type, quint32 native, bool repeat = false) {
        QKeyEvent event(type, Qt::Key_Q, Qt::NoModifier, native, 0, 0, "", repeat);
        QCoreApplication::sendEvent(&target, &event);
    };
    KeyboardState state;
    send(QEvent::KeyPress, 16 + 8);
    ASSERT_TRUE(source.Snapshot(state));
    EXPECT_EQ(state[16], platform::kKeyDown);
    send(QEvent::KeyRelease, 16 + 8, true);
    source.Snapshot(state);
    EXPECT_EQ(state[16], platform::kKeyDown) << "an auto-repeat release is not a release";
    send(QEvent::KeyRelease, 16 + 8);
    source.Snapshot(state);
    EXPECT_EQ(state[16], 0);
    send(QEvent::KeyPress, 0);  // no native code: ignored
    source.Snapshot(state);
    EXPECT_EQ(std::count(state.begin(), state.end(), platform::kKeyDown), 0);
}

}  // namespace
