#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <cstdlib>

#include "platform/keys/evdev_key_source.h"
#include "platform/keys/window_key_source.h"
#include "platform/keys/x11_key_source.h"
#include "wav_fixtures.h"
#include "xvfb.h"

namespace {

using platform::KeyPresses;
using testing_support::HeldUntil;

// The keys xdotool presses and the scan codes they must read as.
struct XKey {
    const char* name;
    int scanCode;
};
constexpr XKey kKeys[] = {{"1", 2}, {"q", 16}, {"a", 30}, {"backslash", 43}};

int HeldCount(const KeyPresses& record) {
    int held = 0;
    for (int code = 0; code < 256; ++code) held += record.Held(code);
    return held;
}

TEST(X11KeySourceTest, SeesKeysPressedOnTheServerWithoutTheFocus) {
    testing_support::Xvfb xvfb;
    ASSERT_TRUE(xvfb.running()) << xvfb.failure();
    setenv("DISPLAY", xvfb.display().c_str(), 1);
    auto source = platform::X11KeySource::Open();
    ASSERT_TRUE(source);
    EXPECT_TRUE(source->UsesRawEvents());
    KeyPresses record;
    source->Start(record.NewSource());

    for (const XKey& key : kKeys) {
        ASSERT_TRUE(testing_support::RunOnDisplay(xvfb.display(),
                                                  std::string("xdotool keydown ") + key.name));
        EXPECT_TRUE(HeldUntil(*source, record, key.scanCode, true)) << key.name << " held";
        EXPECT_EQ(HeldCount(record), 1) << key.name;
        ASSERT_TRUE(testing_support::RunOnDisplay(xvfb.display(),
                                                  std::string("xdotool keyup ") + key.name));
        EXPECT_TRUE(HeldUntil(*source, record, key.scanCode, false)) << key.name << " released";
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
    KeyPresses record;
    source->Start(record.NewSource());
    EXPECT_TRUE(record.Held(16));
    EXPECT_TRUE(record.TakePress(16));
}

TEST(X11KeySourceTest, ReportsATapAtOnceAsOnePress) {
    testing_support::Xvfb xvfb;
    ASSERT_TRUE(xvfb.running()) << xvfb.failure();
    setenv("DISPLAY", xvfb.display().c_str(), 1);
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name};
    QCoreApplication app(argc, argv);
    auto source = platform::X11KeySource::Open();
    ASSERT_TRUE(source);
    KeyPresses record;
    int presses = 0;
    record.OnChanged([&] { presses += record.TakePress(16); });
    source->Start(record.NewSource());
    // The event loop is not running while xdotool does: press and release arrive as one batch.
    ASSERT_TRUE(testing_support::RunOnDisplay(xvfb.display(), "xdotool key --delay 0 q"));
    QElapsedTimer waited;
    waited.start();
    while (presses == 0 && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(presses, 1);
    EXPECT_FALSE(record.Held(16));
}

TEST(X11KeySourceTest, NoServerNoSource) {
    setenv("DISPLAY", ":9999", 1);
    EXPECT_FALSE(platform::X11KeySource::Open());
}

TEST(EvdevKeySourceTest, NoKeyboardsNoSource) {
    testing_support::TempDir empty;
    EXPECT_FALSE(platform::EvdevKeySource::Open(empty.path().c_str()));
}

TEST(OpenKeySourcesTest, ChoosesTheSourcesThatSeeTheSession) {
    testing_support::Xvfb xvfb;
    ASSERT_TRUE(xvfb.running()) << xvfb.failure();
    setenv("DISPLAY", xvfb.display().c_str(), 1);
    auto names = [](std::string_view session) {
        std::string names;
        for (const auto& source : platform::OpenKeySources(session))
            names += std::string(source->Name()) + " ";
        return names;
    };
    const bool evdev = platform::EvdevKeySource::Open() != nullptr;
    EXPECT_EQ(names("xcb"), "x11 ");
    EXPECT_EQ(names("wayland"), evdev ? "evdev " : "x11 window ");
    EXPECT_EQ(names("eglfs"), evdev ? "evdev " : "window ");
}

TEST(WindowKeySourceTest, FollowsPressesAndReleasesByScanCode) {
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name};
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    platform::WindowKeySource source;
    KeyPresses record;
    source.Start(record.NewSource());
    QObject target;
    auto send = [&](QEvent::Type type, quint32 native, bool repeat = false) {
        QKeyEvent event(type, Qt::Key_Q, Qt::NoModifier, native, 0, 0, "", repeat);
        QCoreApplication::sendEvent(&target, &event);
    };
    send(QEvent::KeyPress, 16 + 8);
    EXPECT_TRUE(record.Held(16));
    send(QEvent::KeyRelease, 16 + 8, true);
    EXPECT_TRUE(record.Held(16)) << "an auto-repeat release is not a release";
    send(QEvent::KeyRelease, 16 + 8);
    EXPECT_FALSE(record.Held(16));
    send(QEvent::KeyPress, 0);  // no native code: ignored
    EXPECT_EQ(HeldCount(record), 0);
}

}  // namespace
