// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QTest>
#include <cstdlib>
#include <cstring>

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

// Keyboards the test makes: FIFOs in a folder of its own that carry struct input_event records.
struct FifoKeyboards : platform::EvdevDevices {
    bool IsKeyboard(int) override { return true; }
    bool HeldKeys(int, Keys&) override { return true; }  // none
};

class EvdevKeySourceTest : public testing::Test {
  protected:
    // A keyboard plugged in: the end of its node that the test writes to.
    int Plug(const std::string& name) {
        mkfifo(folder.file(name).c_str(), 0600);
        return open(folder.file(name).c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    }
    static void Key(int keyboard, std::uint16_t code, int value) {
        const input_event events[2] = {{{}, EV_KEY, code, value}, {}};  // then SYN_REPORT
        ASSERT_EQ(write(keyboard, events, sizeof events), ssize_t{sizeof events});
    }

    int argc = 1;
    char* argv[1] = {const_cast<char*>("test")};
    QCoreApplication app{argc, argv};
    testing_support::TempDir folder;
    KeyPresses record;
};

TEST_F(EvdevKeySourceTest, KeyboardsComeAndGoEachAlone) {
    EXPECT_FALSE(platform::EvdevKeySource::Open(folder.path())) << "no keyboards, no source";
    const int first = Plug("event0");
    auto source = platform::EvdevKeySource::Open(folder.path(), std::make_unique<FifoKeyboards>());
    ASSERT_TRUE(source);
    std::vector<std::pair<unsigned, bool>> moves;
    record.OnKey(
        [&](unsigned code, bool down, platform::KeyOrigin) { moves.emplace_back(code, down); });
    source->Start(record.NewSource());
    const int second = Plug("event1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return source->KeyboardCount() == 2; })) << "plugged in";
    Key(second, KEY_Q, 1);
    Key(first, KEY_Q, 1);
    Key(first, KEY_A, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return record.Held(KEY_A); }));
    unlink(folder.file("event0").c_str());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !record.Held(KEY_A); })) << "a keyboard removed";
    const int third = Plug("event2");
    ASSERT_TRUE(QTest::qWaitFor([&] { return source->KeyboardCount() == 2; }));
    Key(third, KEY_W, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return record.Held(KEY_W); }));
    close(second);  // its reads fail from now on
    ASSERT_TRUE(QTest::qWaitFor([&] { return source->KeyboardCount() == 1; }));
    EXPECT_EQ(moves,
              (decltype(moves){
                  {KEY_Q, true}, {KEY_A, true}, {KEY_A, false}, {KEY_W, true}, {KEY_Q, false}}))
        << "Q pressed once, though keyboards came and went while it was held";
    close(first);
    close(third);
}

// Where the machine lets the test make a keyboard: the kernel's own devices and key states.
TEST_F(EvdevKeySourceTest, ReadsAKeyboardMadeWithUinput) {
    const int uinput = open("/dev/uinput", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (uinput < 0) GTEST_SKIP() << "no /dev/uinput to make a keyboard with";
    ioctl(uinput, UI_SET_EVBIT, EV_KEY);
    for (int code : {KEY_1, KEY_Q, KEY_A, KEY_BACKSLASH}) ioctl(uinput, UI_SET_KEYBIT, code);
    uinput_setup setup{};
    std::strcpy(setup.name, "Tonarium test keyboard");
    ASSERT_TRUE(ioctl(uinput, UI_DEV_SETUP, &setup) == 0 && ioctl(uinput, UI_DEV_CREATE) == 0);
    Key(uinput, KEY_Q, 1);
    std::unique_ptr<platform::EvdevKeySource> source;
    if (!QTest::qWaitFor([&] { return (source = platform::EvdevKeySource::Open()) != nullptr; }))
        GTEST_SKIP() << "no keyboard under /dev/input readable to this user";
    source->Start(record.NewSource());
    EXPECT_TRUE(QTest::qWaitFor([&] { return record.Held(KEY_Q); })) << "held when found";
    close(uinput);  // and the keyboard with it
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
