// SPDX-License-Identifier: MIT
// The MIDI keyboard on a port of the test's own: an instrument's notes press keys in the record of
// presses, and only the computer keyboard's notes go out.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QTest>

#include "core/note_map.h"
#include "music/midi_keyboard.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Its input is a pipe of MidiMessages, readable while they wait.
struct FakePort : platform::MidiPort {
    FakePort() { (void)!pipe2(in, O_NONBLOCK); }
    ~FakePort() override { close(in[0]), close(in[1]); }
    void Send(std::span<const std::uint8_t> m) override { sent.emplace_back(m.begin(), m.end()); }
    bool Alive() const override { return alive; }
    const char* Where() const override { return "the test"; }
    int InputFd() const override { return in[0]; }
    bool Receive(platform::MidiMessage& m) override {
        return read(in[0], &m, sizeof m) == sizeof m;
    }
    int in[2];
    std::vector<Bytes> sent;
    bool alive = true;
};

class MidiKeyboardTest : public testing::Test {
  protected:
    void SetUp() override {
        source->Start(record.NewSource(source->Origin()));
        notes.Listen([this](const music::NoteEvent& note) { keyboard.Play(note); });
        keyboard.OnProgram([this](std::uint8_t chosen) { program = chosen; });
        ASSERT_TRUE(QTest::qWaitFor([this] { return !port.sent.empty(); })) << "no port opened";
    }
    // Plays the messages into the input, then lets the event loop take them all.
    void PlayIn(const std::vector<Bytes>& messages) {
        for (const Bytes& bytes : messages) {
            platform::MidiMessage m{.size = static_cast<std::uint8_t>(bytes.size())};
            std::copy(bytes.begin(), bytes.end(), m.bytes.begin());
            ASSERT_EQ(write(port.in[1], &m, sizeof m), sizeof m);
        }
        int left = 0;
        ASSERT_TRUE(QTest::qWaitFor([&] { return !ioctl(port.in[0], FIONREAD, &left) && !left; }));
    }
    static unsigned Key(int note) { return core::NoteMap[note - 1].keyCode; }
    bool Held(int note) const { return record.Held(Key(note)); }

    FakePort& port = *new FakePort;  // the keyboard's once open; a port lost is not found again
    platform::KeyPresses record;
    music::Notes notes{record, music::Clock::now};
    music::MidiKeyboard keyboard{
        platform::MidiBackend::kJack,
        {},
        nullptr,
        [made = std::make_shared<std::unique_ptr<platform::MidiPort>>(&port)](
            platform::MidiBackend&, std::string&) { return std::move(*made); }};
    std::unique_ptr<platform::KeySource> source = keyboard.Source();
    platform::KeyReport computer = record.NewSource(platform::KeyOrigin::kKeyboard);
    int program = -1;
};

TEST_F(MidiKeyboardTest, NotesOnAnyChannelHoldTheirKeysFoldedIntoTheKeyboardUntilAllAreOff) {
    PlayIn({{0x93, 60, 90}, {0x9F, 24, 90}, {0x90, 100, 1}});  // C4, C1, E7
    EXPECT_TRUE(Held(13) && Held(1) && Held(29));
    PlayIn({{0x83, 60, 64}, {0x9F, 24, 0}});
    EXPECT_FALSE(Held(13) || Held(1));
    PlayIn({{0x90, 36, 90}, {0x91, 48, 90}, {0x80, 36, 0}});  // C2 and C3: both on C3's key
    EXPECT_TRUE(Held(1) && Held(29)) << "C3 is still on";
    PlayIn({{0x91, 48, 0}, {0x80, 100, 0}});
    EXPECT_FALSE(Held(1) || Held(29));
}

TEST_F(MidiKeyboardTest, OnlyTheComputerKeyboardsNotesGoOutAndProgramChangesComeIn) {
    PlayIn({{0x90, 60, 90}, {0xC2, 20}, {0x80, 60, 0}});
    EXPECT_EQ(program, 20);
    // Each press is whoever's pressed first, however the two let go.
    PlayIn({{0x90, 62, 90}});
    computer.Down(Key(15));
    PlayIn({{0x80, 62, 0}});
    computer.Up(Key(15));
    computer.Down(Key(17));
    PlayIn({{0x90, 64, 90}});
    computer.Up(Key(17));
    PlayIn({{0x80, 64, 0}});
    EXPECT_EQ(port.sent, (std::vector<Bytes>{{0xC0, 0}, {0x90, 64, 100}, {0x80, 64, 64}}));
}

TEST_F(MidiKeyboardTest, APortThatGoesAwayLetsGoOfTheInstrumentsKeysOnly) {
    PlayIn({{0x90, 60, 90}, {0x90, 64, 90}});
    computer.Down(Key(1));
    port.alive = false;  // found at the next poll, within a second
    EXPECT_TRUE(QTest::qWaitFor([this] { return !Held(13) && !Held(17); }, 3000));
    EXPECT_TRUE(Held(1));
}

}  // namespace
