// SPDX-License-Identifier: MIT
#include "forms/form1.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>
#include <utility>

#include "fake_backends.h"
#include "forms/art/keyboard_art.h"
#include "recording_services.h"
#include "runtime/timer.h"
#include "wav_fixtures.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

// Slot n's fixture sound is 100 × (n + 1) frames long, so a recorded voice names its slot.
std::size_t FramesOfSlot(int slot) {
    return 100u * (slot + 1);
}

void WriteSample(const fs::path& path, int slot) {
    fs::create_directories(path.parent_path());
    WriteToneWav(path.string(), ToneSpec{.seconds = FramesOfSlot(slot) / 22050.0});
}

class Form1Test : public ::testing::Test {
  protected:
    Form1Test() {
        for (int slot = 0; slot <= 36; ++slot) WriteSample(Piano(slot), slot);
        for (int slot = 1; slot <= 36; ++slot) WriteSample(Organ(slot), slot + 100);
        services.appPath = library.path().string();
    }

    fs::path Piano(int slot) const {
        return library.path() / "wav/piano" / (std::to_string(slot) + ".wav");
    }
    fs::path Organ(int slot) const {
        return library.path() / "wav/organ" / (std::to_string(slot) + ".wav");
    }

    forms::Form1& Open() {
        form = std::make_unique<forms::Form1>(services, backends.Make());
        form->Show();
        return *form;
    }
    // Runs the main window's tick handler as that many ticks would, without waiting for them.
    void Ticks(int count) {
        for (; count > 0; --count) form->Get<runtime::Timer>("Timer1").TickNow();
    }
    // Slots played since the last call, in order.
    std::vector<int> Played() {
        std::vector<int> notes;
        for (const auto& play : backends.plays)
            if (!play.looping) notes.push_back(static_cast<int>(play.frames / 100 - 1));
        backends.plays.clear();
        return notes;
    }
    bool Lit(int note) const { return form->Image1(note).isVisible(); }
    void Click(const char* name) { form->Get<QAbstractButton>(name).click(); }

    TempDir library;
    RecordingServices services;
    QStringList& messages = services.messages;
    RecordingBackends backends;
    std::unique_ptr<forms::Form1> form;
};

TEST_F(Form1Test, LayoutFollowsTheDesignInPixels) {
    forms::Form1& main = Open();
    EXPECT_EQ(main.windowTitle(), "Музыкальный тонариум v 1.01");
    EXPECT_EQ(main.size(), QSize(436, 264));
    EXPECT_EQ(main.Get<QWidget>("Frame3").geometry(), QRect(148, 0, 281, 93));
    EXPECT_EQ(main.Get<QWidget>("Command1").geometry(), QRect(184, 12, 89, 73));
    EXPECT_EQ(main.Get<QWidget>("Command1").toolTip(), "выход нах");
    EXPECT_EQ(main.Get<QWidget>("Picture1").geometry(), QRect(4, 12, 412, 144));
    EXPECT_TRUE(main.Get<QRadioButton>("Option1").isChecked());
    EXPECT_FALSE(main.Get<QRadioButton>("Option3").isEnabled());
    EXPECT_EQ(main.Image1(36).geometry(), forms::art::HighlightRect(36));
    EXPECT_EQ(main.Image1(36).size(), QSize(41, 22));
    for (int note = 1; note <= 36; ++note) EXPECT_FALSE(Lit(note)) << note;
}

TEST_F(Form1Test, StartUpLoadsTheWholePianoAndLoopsSlotZero) {
    Open();
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(backends.voices.size(), 37u);
    ASSERT_FALSE(backends.plays.empty());
    EXPECT_TRUE(backends.plays.front().looping);
    EXPECT_EQ(backends.plays.front().frames, FramesOfSlot(0));
}

TEST_F(Form1Test, HeldKeyPlaysOnceStaysLitAndGoesDarkOnRelease) {
    Open();
    Played();
    backends.keyboard.Press(2);  // "1"
    Ticks(4);
    EXPECT_EQ(Played(), std::vector<int>{1});
    EXPECT_TRUE(Lit(1));
    backends.keyboard.Release(2);
    Ticks(2);
    EXPECT_FALSE(Lit(1));
    EXPECT_TRUE(Played().empty());
    backends.keyboard.Press(2);
    Ticks(2);
    EXPECT_EQ(Played(), std::vector<int>{1}) << "pressed again, it plays again";
}

TEST_F(Form1Test, KeysPressedTogetherPlayInNoteOrder) {
    Open();
    Played();
    backends.keyboard.Press(30);  // A, note 3
    backends.keyboard.Press(16);  // Q, note 2
    backends.keyboard.Press(43);  // backslash, note 36
    Ticks(2);
    EXPECT_EQ(Played(), (std::vector<int>{2, 3, 36}));
    EXPECT_TRUE(Lit(2) && Lit(3) && Lit(36));
}

TEST_F(Form1Test, UnmappedKeysPlayAndLightNothing) {
    Open();
    Played();
    for (int code : {28, 1, 44, 57}) backends.keyboard.Press(code);  // Enter, Esc, Z, space
    Ticks(2);
    EXPECT_TRUE(Played().empty());
    for (int note = 1; note <= 36; ++note) EXPECT_FALSE(Lit(note)) << note;
}

TEST_F(Form1Test, AKeyEventPlaysAtOnceAndWhatComesDuringATickWaitsForTheNext) {
    Open();
    Played();
    backends.keyboard.Tap(16);  // Q, note 2, down and up between two ticks
    EXPECT_EQ(Played(), std::vector<int>{2}) << "played without waiting for the timer";
    EXPECT_TRUE(Lit(2)) << "lit until the next tick";
    Ticks(1);
    EXPECT_FALSE(Lit(2));
    EXPECT_TRUE(Played().empty()) << "a tap plays once";

    // A key tapped while a tick runs, here as it starts note 2, after it looked at note 1's key.
    bool tapped = false;
    backends.beforePlay = [&] {
        if (!std::exchange(tapped, true)) backends.keyboard.Tap(2);  // "1", note 1
    };
    backends.keyboard.Tap(16);
    EXPECT_EQ(Played(), std::vector<int>{2});
    Ticks(1);
    EXPECT_EQ(Played(), std::vector<int>{1}) << "the next tick looks at it";
}

TEST_F(Form1Test, MissingSlotZeroIsReportedOnceAndTheRestLoads) {
    fs::remove(Piano(0));
    Open();
    EXPECT_EQ(messages, QStringList{"файл не найден"});
    EXPECT_EQ(backends.voices.size(), 36u);
    backends.keyboard.Press(16);
    Ticks(2);
    EXPECT_EQ(Played(), std::vector<int>{2});
}

TEST_F(Form1Test, OrganWithAMissingFileLeavesThatNoteSilentUntilPiano) {
    fs::remove(Organ(5));
    Open();
    Click("Option2");
    EXPECT_EQ(messages, QStringList{"файл не найден"});
    backends.keyboard.Press(17);  // W, note 5
    backends.keyboard.Press(16);  // Q, note 2: organ
    Ticks(2);
    EXPECT_EQ(Played(), std::vector<int>{102});
    EXPECT_TRUE(Lit(5)) << "the key still lights";
    backends.keyboard.Release(17);
    backends.keyboard.Release(16);
    Ticks(2);
    Click("Option1");
    backends.keyboard.Press(17);
    Ticks(2);
    EXPECT_EQ(Played(), std::vector<int>{5});
}

TEST_F(Form1Test, EveryClickOnAnInstrumentReloadsIt) {
    Open();
    const std::size_t before = backends.voices.size();
    Click("Option1");
    Click("Option1");
    EXPECT_EQ(backends.voices.size(), before + 72);
}

TEST_F(Form1Test, EveryLoadFailureIsReportedWithPathAndReasonAndTheRestLoads) {
    WriteBytes(Piano(7).string(), "RIFF0000WAVEgarbage");
    WriteBytes(Organ(9).string(), "");
    backends.beforeVoice = [](std::size_t frames) {
        if (frames == FramesOfSlot(11)) throw std::bad_alloc();
        if (frames == FramesOfSlot(112)) throw std::runtime_error("no room for a buffer");
    };
    auto message = [](const fs::path& path, const char* reason) {
        return "не удалось прочитать файл\n" + QString::fromStdString(path.string()) + '\n' +
               reason;
    };
    Open();
    EXPECT_EQ(messages, (QStringList{message(Piano(7), "файл повреждён или это не WAV"),
                                     message(Piano(11), "недостаточно памяти")}));
    EXPECT_EQ(backends.voices.size(), 35u);
    messages.clear();
    Click("Option2");
    EXPECT_EQ(messages,
              (QStringList{message(Organ(9), "файл повреждён или это не WAV"),
                           message(Organ(12),
                                   "звуковое устройство не приняло звук (no room for a buffer)")}));
    EXPECT_TRUE(form->isVisible()) << "the program goes on";
    Played();
    backends.keyboard.Press(33);  // F, note 12: its slot stayed empty
    backends.keyboard.Press(30);  // A, note 3
    Ticks(1);
    EXPECT_EQ(Played(), std::vector<int>{103});
}

TEST_F(Form1Test, ExitClosesTheWindow) {
    Open();
    Click("Command1");
    EXPECT_FALSE(form->isVisible());
    backends.keyboard.Press(16);
    EXPECT_EQ(form->Module().IsKeyDown(16), core::kFalse) << "the keyboard was released";
}

}  // namespace
