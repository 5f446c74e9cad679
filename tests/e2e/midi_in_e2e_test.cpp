// SPDX-License-Identifier: MIT
// A MIDI keyboard playing the program: started with --midi on a JACK server of the test's own, a
// device's port that comes after it (connected by the program itself) plays into its input; its
// sound is recorded, its window grabbed and its output recorded as a synth would take it. Run
// under pw-jack, on a private PipeWire through PipeWire's JACK library.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "audio_analysis.h"
#include "jack_server.h"
#include "poll_until.h"
#include "program_under_test.h"

namespace {

using namespace testing_support;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
constexpr auto Lit = &ProgramUnderTest::Lit;
constexpr int kRate = ProgramUnderTest::kSoundRate;

class MidiInEndToEnd : public testing::Test {
  protected:
    explicit MidiInEndToEnd(int period = 256) : jack(period) {}

    void SetUp() override {
        ASSERT_TRUE(xvfb.running()) << xvfb.failure();
        ASSERT_TRUE(jack.running()) << jack.Kind() << ": " << jack.error();
        jack.Export();
        program.emplace(xvfb,
                        ProgramUnderTest::Options{.arguments = {"--midi", "--sound", "pulse"}});
        program->Start();
        window = program->MainWindow();
        ASSERT_NE(window, 0u) << program->Errors();
        ASSERT_TRUE(recorder.ConnectFrom("Тонариум:Тонариум", 5s)) << program->Errors();
        device.emplace(jack, "device", true);
        ASSERT_TRUE(PollUntil([this] { return device->ConnectedTo("Тонариум:вход"); }, 5))
            << "a device that came later is connected by the program";
    }
    // Plays the batch until the window shows each note's key as the batch leaves it (lit after a
    // note on), three times at most: a sender late for its cycle loses the end of what it sent in
    // it, and on PipeWire a new connection carries nothing for a few cycles.
    bool Play(const std::vector<Bytes>& batch) {
        const auto shown = [&](const QImage& now) {
            return std::all_of(batch.begin(), batch.end(), [&](const Bytes& m) {
                const auto last = std::find_if(batch.rbegin(), batch.rend(), [&](const Bytes& b) {
                    return b[0] < 0xA0 && b[1] == m[1];
                });
                return m[0] >= 0xA0 || Lit(now, m[1] - 47) == ((*last)[0] >= 0x90 && (*last)[2]);
            });
        };
        for (int tries = 0; tries < 3; ++tries)
            if (device->Send(batch), shown(program->GrabUntil(window, shown, 1))) return true;
        return false;
    }

    Xvfb xvfb;
    JackServer jack;
    JackMidiRecorder recorder{jack};
    std::optional<ProgramUnderTest> program;
    std::optional<JackMidiSender> device;
    unsigned long window = 0;
};

TEST_F(MidiInEndToEnd, ItsNotesSoundAndLightItsProgramChangeChoosesTheOrganAndNoneGoOut) {
    ASSERT_TRUE(Play({{0x91, 60, 90}})) << "C4, channel 2\n" << program->Errors();
    std::this_thread::sleep_for(400ms);
    EXPECT_NEAR(RecordedPitch(program->FirstSoundHeard(0.3, 2s), kRate), NoteFrequency(13),
                NoteFrequency(13) * 0.01);
    EXPECT_TRUE(Play({{0x91, 64, 90}, {0x91, 67, 90}})) << "E4 and G4 held with it";
    EXPECT_TRUE(Play({{0x91, 60, 0}, {0x91, 64, 0}, {0x91, 67, 0}})) << "note ons at velocity 0";
    std::this_thread::sleep_for(700ms);  // the chord's sound over
    const auto organ = Clock::now();
    EXPECT_TRUE(Play({{0xC1, 20}, {0x91, 57, 90}})) << "the organ chosen, then A3";
    std::this_thread::sleep_for(400ms);
    EXPECT_NEAR(RecordedPitch(program->FirstSoundHeard(0.3, 2s, organ), kRate),
                2 * NoteFrequency(10), NoteFrequency(10) * 0.02)
        << "on the organ, an octave up";
    const auto sent = recorder.WaitFor(0, 0ms);
    EXPECT_TRUE(std::all_of(sent.begin(), sent.end(), [](auto& m) { return m.bytes[0] == 0xC0; }))
        << "only programs went out, not the notes that came in";
    EXPECT_TRUE(!sent.empty() && sent.back().bytes == (Bytes{0xC0, 20})) << "the organ went out";
}

// 16-frame periods: a cycle's buffer holds a whole chord with little time to spare.
class MidiInChords : public MidiInEndToEnd {
  protected:
    MidiInChords() : MidiInEndToEnd(16) {}
};

TEST_F(MidiInChords, EveryNoteOfTwentyFourKeysIsTakenInOrderAndNoneIsLeftHeld) {
    std::vector<Bytes> on, again, off;  // let go, and the lower half pressed again at once
    for (std::uint8_t pitch = 48; pitch < 72; ++pitch) {
        on.push_back({0x90, pitch, 90});
        again.push_back({0x80, pitch, 64});
        if (pitch < 60) again.push_back({0x90, pitch, 90}), off.push_back({0x90, pitch, 0});
    }
    for (int run = 0; run < 3; ++run) {
        EXPECT_TRUE(Play(on)) << "run " << run;
        EXPECT_TRUE(Play(again)) << "run " << run;
        EXPECT_TRUE(Play(off)) << "run " << run;
    }
}

}  // namespace
