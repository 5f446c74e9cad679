// SPDX-License-Identifier: MIT
// The program as a MIDI keyboard: started with --midi on a JACK server of the test's own, keys
// pressed through XTest while another window has the focus, and what its port sends recorded by a
// JACK client connected to it, as a synth would be. The desktop's notifications go to a session
// bus of the test's own. Run under pw-jack, the big chords play on a private PipeWire instead.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <optional>
#include <thread>

#include "child_process.h"
#include "dbus_session.h"
#include "jack_server.h"
#include "midi_chords.h"
#include "program_under_test.h"

namespace {

using namespace testing_support;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kPort = "Тонариум:Тонариум";

// Periods of 256 frames leave a busy machine's scheduler 5 ms before the server skips a late
// recorder, whose missed cycle would lose it the messages of that cycle.
class MidiEndToEnd : public testing::Test {
  protected:
    explicit MidiEndToEnd(int period = 256) : jack(period) {}

    void SetUp() override {
        ASSERT_TRUE(xvfb.running()) << xvfb.failure();
        ASSERT_TRUE(bus.running()) << bus.Log();
        bus.Export();
        if (const std::string missing = FirstMissing(jack.Programs()); !missing.empty())
            GTEST_SKIP() << missing << " is not installed (scripts/setup.sh --test installs it)";
        ASSERT_TRUE(jack.running()) << jack.error();
        jack.Export();
        recorder.emplace(jack);
        ASSERT_TRUE(recorder->recording());
    }

    void Start(std::vector<std::string> arguments) {
        program.emplace(xvfb, ProgramUnderTest::Options{.sound = ProgramUnderTest::Sound::kNone,
                                                        .arguments = std::move(arguments)});
        program->Start();
        ASSERT_NE(program->MainWindow(), 0u) << program->Errors();
        ASSERT_TRUE(recorder->ConnectFrom(kPort, 5s)) << program->Errors();
    }
    // A port opened again shows on the server before the window has it, and keys pressed in
    // between go nowhere: the instrument, sent once the window has it, says when to play.
    void Reconnect() {
        ASSERT_TRUE(recorder->ConnectFrom(kPort, 5s)) << program->Errors();
        ASSERT_FALSE(Sent(1).empty()) << program->Errors();
    }
    // The bytes of every message recorded once there are `count`. The instrument comes as the
    // port opens and again as the recorder connects; when the two fall together, it comes twice.
    std::vector<Bytes> Sent(std::size_t count) {
        for (std::size_t wanted = count;; ++wanted) {
            const auto recorded = recorder->WaitFor(wanted, 5s);
            std::vector<Bytes> sent;
            for (const auto& message : recorded)
                if (sent.empty() || message.bytes != sent.back() || message.bytes[0] < 0xC0)
                    sent.push_back(message.bytes);
            if (sent.size() >= count || recorded.size() < wanted) return sent;
        }
    }

    Xvfb xvfb;
    DbusSession bus;
    JackServer jack;
    std::optional<JackMidiRecorder> recorder;
    std::optional<ProgramUnderTest> program;
};

TEST_F(MidiEndToEnd, KeysSendTheirNotesOnceEach) {
    Start({"--midi", "--channel", "3", "--velocity", "90", "--no-sound"});
    FocusedWindow other(xvfb.display());
    ASSERT_TRUE(program->Xdotool("key --delay 0 q"));
    EXPECT_EQ(Sent(3), (std::vector<Bytes>{{0xC2, 0}, {0x92, 49, 90}, {0x82, 49, 64}}))
        << "the piano when connected, then Q: note 2, C#3";

    ASSERT_TRUE(program->Xdotool("key --delay 0 1+2+3"));
    auto chord = Sent(9);
    ASSERT_EQ(chord.size(), 9u) << "missed by the recorder in cycles it missed? "
                                << recorder->missedCycles().size();
    chord.erase(chord.begin(), chord.begin() + 3);
    std::sort(chord.begin(), chord.end());
    EXPECT_EQ(chord, (std::vector<Bytes>{{0x82, 48, 64},
                                         {0x82, 51, 64},
                                         {0x82, 54, 64},
                                         {0x92, 48, 90},
                                         {0x92, 51, 90},
                                         {0x92, 54, 90}}));

    ASSERT_TRUE(program->Xdotool("keydown 5 sleep 1.2 keyup 5"));  // the server repeats it
    const auto held = Sent(11);
    EXPECT_EQ(std::vector<Bytes>(held.begin() + 9, held.end()),
              (std::vector<Bytes>{{0x92, 60, 90}, {0x82, 60, 64}}))
        << "one note for a held key: middle C";
    const std::size_t recorded = recorder->WaitFor(0, 0ms).size();
    EXPECT_EQ(recorder->WaitFor(recorded + 1, 300ms).size(), recorded) << "nothing more";
    EXPECT_EQ(bus.Notifications().size(), 0u) << "nothing to tell once a port opens";
}

TEST_F(MidiEndToEnd, TheOrganIsAProgramChangeAndEndingLetsGoOfHeldNotes) {
    Start({"--midi"});
    ASSERT_EQ(Sent(1), (std::vector<Bytes>{{0xC0, 0}}));
    ASSERT_TRUE(program->Xdotool("mousemove --window " + std::to_string(program->MainWindow()) +
                                 " 30 72 click 1"));  // «Орган»
    EXPECT_EQ(Sent(2).back(), (Bytes{0xC0, 20}));
    ASSERT_TRUE(program->Xdotool("keydown w"));
    EXPECT_EQ(Sent(3).back(), (Bytes{0x90, 52, 100}));
    EXPECT_EQ(program->EndWith(SIGTERM), 0);
    EXPECT_EQ(Sent(4).back(), (Bytes{0x80, 52, 64})) << "W let go as the program ended";
    ASSERT_TRUE(program->Xdotool("keyup w"));
}

TEST_F(MidiEndToEnd, NotesArriveAgainFromARestartedServer) {
    Start({"--midi", "--no-sound"});
    jack.Kill();
    recorder.reset();
    ASSERT_TRUE(jack.Start()) << jack.error();
    recorder.emplace(jack);
    Reconnect();
    ASSERT_TRUE(program->Xdotool("key --delay 0 a"));
    EXPECT_EQ(Sent(3), (std::vector<Bytes>{{0xC0, 0}, {0x90, 50, 100}, {0x80, 50, 64}}));
    EXPECT_NE(program->Errors().find("the MIDI port on JACK is lost"), std::string::npos);
}

// A JACK server that does not answer (stopped, as a hang would leave it) makes opening the port
// wait without a limit: the window must come up and play all the same, and the port open once
// the server goes on.
TEST_F(MidiEndToEnd, AHungServerNeverHoldsUpTheWindowAndThePortOpensOnceItGoesOn) {
    jack.Hang(true);
    program.emplace(xvfb, ProgramUnderTest::Options{.sound = ProgramUnderTest::Sound::kNone,
                                                    .arguments = {"--midi", "jack"}});
    program->Start();
    const unsigned long window = program->MainWindow();
    jack.Hang(false);
    ASSERT_NE(window, 0u) << "the window waited for the server";
    Reconnect();
    ASSERT_TRUE(program->Xdotool("key --delay 0 a"));
    EXPECT_EQ(Sent(3), (std::vector<Bytes>{{0xC0, 0}, {0x90, 50, 100}, {0x80, 50, 64}}));
}

TEST_F(MidiEndToEnd, WithoutJackOrTheAlsaSequencerTheUserIsToldOnceAndPlaysOn) {
    if (std::filesystem::exists("/dev/snd/seq")) GTEST_SKIP() << "an ALSA sequencer is here";
    setenv("JACK_DEFAULT_SERVER", "tonarium-test-none", 1);
    program.emplace(xvfb, ProgramUnderTest::Options{.arguments = {"--midi"}});
    program->Start();
    ASSERT_NE(program->MainWindow(), 0u);
    ASSERT_TRUE(program->Xdotool("key q"));
    EXPECT_FALSE(program->FirstSoundHeard(0.1, 3s).empty()) << "the keys still sound";
    std::this_thread::sleep_for(1500ms);  // the port tried again
    EXPECT_EQ(program->Quit(), 0);
    const std::string errors = program->Errors();
    EXPECT_NE(errors.find("Тонариум: no MIDI port: no JACK server answers and the ALSA sequencer "
                          "cannot be opened: No such file or directory; playing on without MIDI, "
                          "trying again every second\n"),
              std::string::npos);
    EXPECT_EQ(errors.find("MIDI"), errors.rfind("MIDI port")) << "one line: " << errors;
    const auto notices = bus.Notifications();
    ASSERT_EQ(notices.size(), 1u);
    for (const char* named : {"JACK", "pw-jack", "snd-seq"})
        EXPECT_NE(notices[0].find(named), std::string::npos) << named << " in " << notices[0];
}

// 16-frame periods: a cycle's buffer takes the chord's notes with little time to spare. A part
// of the run in which the recorder missed a cycle of the server counts only if nothing was lost:
// what is missing then may be the recorder's loss, not the program's.
class BigChords : public MidiEndToEnd {
  protected:
    BigChords() : MidiEndToEnd(16) {}
};

TEST_F(BigChords, EachNoteOfTwentyFourKeysArrivesOnceAndEndingLetsGoOfThoseHeld) {
    constexpr int kRuns = 3, kKeys = 24;
    const ChordRun::Parts expected = ChordRun::Expected(kKeys);
    std::array<int, 4> counted{};  // the runs that counted each part
    for (int run = 0; run < kRuns; ++run) {
        Start({"--midi", "--no-sound"});
        FocusedWindow other(xvfb.display());
        const ChordRun chords = PlayChords(xvfb.display(), *program, *recorder, kKeys, SIGTERM);
        EXPECT_EQ(chords.status, 0);
        for (std::size_t part = 0; part < expected.size(); ++part) {
            if (chords.missedCycles[part] > 0 && chords.parts[part] != expected[part]) continue;
            ++counted[part];
            EXPECT_EQ(chords.parts[part], expected[part])
                << "run " << run << ", part " << part << " on " << jack.Kind();
        }
    }
    for (std::size_t part = 0; part < expected.size(); ++part)
        EXPECT_GT(counted[part], 0) << "part " << part << ": the recorder missed cycles of "
                                    << jack.Kind() << " in every run";
}

}  // namespace
