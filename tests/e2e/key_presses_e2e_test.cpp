// The main window reading the real keyboard sources of an X11 session while it has the focus:
// the X11 source and the window's own key events both see every key, and every press must still
// start exactly one note. Keys come through XTest, as from a person's keyboard.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <filesystem>

#include "fake_backends.h"
#include "forms/form1.h"
#include "platform/keys/window_key_source.h"
#include "platform/keys/x11_key_source.h"
#include "recording_services.h"
#include "wav_fixtures.h"
#include "xvfb.h"

// Xlib last: its macros clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

using namespace testing_support;

testing_support::Xvfb* server;

class KeyPressesEndToEnd : public testing::Test {
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
            dx::KeySources sources;
            sources.push_back(platform::X11KeySource::Open());
            sources.push_back(std::make_unique<platform::WindowKeySource>());
            return sources;
        };
        form = std::make_unique<forms::Form1>(services, std::move(devices));
        form->Show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get())) << "our window has the focus";
        keyboard = XOpenDisplay(server->display().c_str());
        ASSERT_TRUE(keyboard);
        backends.plays.clear();  // slot 0's loop
    }
    void TearDown() override {
        if (keyboard) XCloseDisplay(keyboard);
    }

    unsigned Code(const char* key) { return XKeysymToKeycode(keyboard, XStringToKeysym(key)); }
    // Presses go down and come up again in one request, or `heldMs` apart.
    void Tap(std::initializer_list<const char*> keys, int heldMs = 0) {
        for (const char* key : keys) XTestFakeKeyEvent(keyboard, Code(key), True, 0);
        if (heldMs > 0) {
            XFlush(keyboard);
            QTest::qWait(heldMs);
        }
        for (const char* key : keys) XTestFakeKeyEvent(keyboard, Code(key), False, 0);
        XFlush(keyboard);
        QTest::qWait(150);
    }
    std::size_t Starts() { return std::exchange(backends.plays, {}).size(); }

    TempDir library;
    RecordingServices services;
    RecordingBackends backends;
    std::unique_ptr<forms::Form1> form;
    Display* keyboard = nullptr;
};

TEST_F(KeyPressesEndToEnd, EveryPressStartsOneNote) {
    for (const char* key : {"q", "w", "e", "r", "t", "y", "u", "i", "o", "p"}) Tap({key});
    EXPECT_EQ(Starts(), 10u) << "taps sent in one request";
    for (const char* key : {"a", "s", "d", "f", "g", "h", "j", "k", "l", "semicolon"})
        Tap({key}, 8);
    EXPECT_EQ(Starts(), 10u) << "taps of 8 ms";
    Tap({"1", "2", "3"});
    EXPECT_EQ(Starts(), 3u) << "a chord of three";
    Tap({"5"}, 1500);
    EXPECT_EQ(Starts(), 1u) << "a key held with the server's auto-repeat";
    for (int note = 1; note <= 36; ++note) EXPECT_FALSE(form->Image1(note).isVisible()) << note;
}

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
