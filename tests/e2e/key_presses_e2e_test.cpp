// SPDX-License-Identifier: MIT
// The main window reading the keyboard through the sources an X11 session chooses, with the focus
// on our window and on another program's: every press must start exactly one note. Keys come
// through XTest, as from a person's keyboard.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <filesystem>
#include <optional>

#include "fake_backends.h"
#include "forms/form1.h"
#include "platform/keys/keys.h"
#include "recording_services.h"
#include "wav_fixtures.h"
#include "xvfb.h"

// Xlib last: its macros clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

using namespace testing_support;

testing_support::Xvfb* server;

// The parameter: another window has the focus.
class KeyPressesEndToEnd : public testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server->running()) << server->failure();
        const auto piano = library.path() / "wav/piano";
        std::filesystem::create_directories(piano);
        for (int slot = 0; slot <= 36; ++slot)
            WriteToneWav((piano / (std::to_string(slot) + ".wav")).string(), {.seconds = 0.05});
        services.appPath = library.path().string();
        dx::Backends devices = backends.Make();
        devices.openKeySources = [](core::WindowHandle) {
            return platform::OpenKeySources(QGuiApplication::platformName().toStdString());
        };
        form = std::make_unique<forms::Form1>(services, std::move(devices));
        form->Show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get())) << "our window has the focus";
        if (GetParam()) {
            other.emplace(server->display());
            ASSERT_TRUE(other->HasFocus());
        }
        keyboard = XOpenDisplay(server->display().c_str());
        ASSERT_TRUE(keyboard);
        backends.plays.clear();  // slot 0's loop
    }
    void TearDown() override {
        if (keyboard) XCloseDisplay(keyboard);
    }

    unsigned Code(const char* key) { return XKeysymToKeycode(keyboard, XStringToKeysym(key)); }
    // Presses go down and come up again in one request, or `heldMs` apart; 8 ms taps come 20 a
    // second.
    void Tap(std::initializer_list<const char*> keys, int heldMs = 0) {
        for (const char* key : keys) XTestFakeKeyEvent(keyboard, Code(key), True, 0);
        if (heldMs > 0) {
            XFlush(keyboard);
            QTest::qWait(heldMs);
        }
        for (const char* key : keys) XTestFakeKeyEvent(keyboard, Code(key), False, 0);
        XFlush(keyboard);
        QTest::qWait(42);
    }
    // The notes started since the last count, once the last key has had time to play.
    std::size_t Starts() {
        QTest::qWait(150);
        return std::exchange(backends.plays, {}).size();
    }

    TempDir library;
    RecordingServices services;
    RecordingBackends backends;
    std::unique_ptr<forms::Form1> form;
    std::optional<FocusedWindow> other;
    Display* keyboard = nullptr;
};

TEST_P(KeyPressesEndToEnd, EveryPressStartsOneNote) {
    for (const char* key : {"q", "w", "e", "r", "t", "y", "u", "i", "o", "p"}) Tap({key});
    EXPECT_EQ(Starts(), 10u) << "taps sent in one request";
    for (const char* key : {"a", "s", "d", "f", "g", "h", "j", "k", "l", "semicolon"})
        Tap({key}, 8);
    EXPECT_EQ(Starts(), 10u) << "taps of 8 ms";
    Tap({"1", "2", "3"});
    EXPECT_EQ(Starts(), 3u) << "a chord of three";
    Tap({"5"}, 1000);
    EXPECT_EQ(Starts(), 1u) << "a key held with the server's auto-repeat";
    for (int strike = 0; strike < 20; ++strike) Tap({"t"}, 8);
    EXPECT_EQ(Starts(), 20u) << "one key struck 20 times a second";
    for (int note = 1; note <= 36; ++note) EXPECT_FALSE(form->Image1(note).isVisible()) << note;
}

INSTANTIATE_TEST_SUITE_P(Focus, KeyPressesEndToEnd, testing::Values(false, true),
                         [](const auto& focus) { return focus.param ? "Elsewhere" : "Ours"; });

}  // namespace

int main(int argc, char* argv[]) {
    testing_support::Xvfb xvfb;
    server = &xvfb;
    if (xvfb.running()) {
        setenv("DISPLAY", xvfb.display().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
