// The built program and a sound server that goes away, PulseAudio or PipeWire: the notes are heard
// again soon after a new server starts, whether the old one was killed under the program or none
// ran when it started.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

#include "program_under_test.h"
#include "sound_server.h"

namespace {

using namespace testing_support;
using namespace std::chrono_literals;
using Clock = MonitorRecorder::Clock;

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// The program opens its output again about once a second; the rest is for a busy machine.
constexpr auto kHeardWithin = 2s;

class SoundServerTest : public testing::TestWithParam<SoundServer::Kind> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(xvfb_.running()) << xvfb_.failure();
        if (!server_.running())
            GTEST_SKIP() << server_.Name() << " cannot run here: " << server_.error();
        server_.Export();  // the program finds this server, and every later one at its address
    }

    ProgramUnderTest::Options Options() { return {.sound = ProgramUnderTest::Sound::kTestsServer}; }

    // Plays a note every tenth of a second until the server's output has it; how long that took,
    // or nullopt when it was not heard within `limit`.
    std::optional<double> SecondsUntilHeard(ProgramUnderTest& program, Clock::duration limit) {
        const MonitorRecorder recorder(server_);
        if (!recorder.recording()) return std::nullopt;
        const auto since = Clock::now();
        while (Clock::now() < since + limit) {
            program.Xdotool("key q");
            if (auto heard = recorder.WaitForSound(since, 100ms))
                return std::chrono::duration<double>(*heard - since).count();
        }
        return std::nullopt;
    }

    // How long after `since` the program's output showed up on the server, looking every 10 ms.
    std::optional<double> SecondsUntilOutputOpens(Clock::time_point since, Clock::duration limit) {
        PulseConnection connection(server_.PulseServer(), "output watch");
        struct Inputs {
            PulseConnection* connection;
            int count = 0;
        };
        while (connection.connected() && Clock::now() < since + limit) {
            Inputs inputs{&connection};
            {
                std::lock_guard lock(connection);
                connection.Finish(pa_context_get_sink_input_info_list(
                    connection.context(),
                    [](pa_context*, const pa_sink_input_info* input, int, void* inputs) {
                        static_cast<Inputs*>(inputs)->count += input != nullptr;
                        PulseConnection::Signal(static_cast<Inputs*>(inputs)->connection);
                    },
                    &inputs));
            }
            if (inputs.count > 0)
                return std::chrono::duration<double>(Clock::now() - since).count();
            std::this_thread::sleep_for(10ms);
        }
        return std::nullopt;
    }

    // Starts a new server and tells how long after it was ready to play the program's notes were
    // heard: the time the program took to open its output there, and then a note's way through.
    // (The null sink renders its first two seconds in one block, so a note that came sooner is
    // only seen in the monitor at the end of that block, as if it came late.)
    void ExpectHeardSoonAfterANewServer(ProgramUnderTest& program, const char* scenario) {
        const auto launched = Clock::now();
        ASSERT_TRUE(server_.Start()) << server_.error();
        const auto ready = Clock::now();
        const auto opened = SecondsUntilOutputOpens(ready, 10s);
        ASSERT_TRUE(opened) << "the program did not open its output within 10 s";
        const auto noteWay = SecondsUntilHeard(program, 5s);
        ASSERT_TRUE(noteWay) << "no note heard on the new server";
        std::printf(
            "%s: server ready %.2f s after its launch, program output open %.2f s later, "
            "a note heard %.3f s after its key: %.2f s from ready\n",
            scenario, std::chrono::duration<double>(ready - launched).count(), *opened, *noteWay,
            *opened + *noteWay);
        EXPECT_LE(*opened + *noteWay, std::chrono::duration<double>(kHeardWithin).count());
        const std::string errors = program.Errors();
        EXPECT_EQ(Count(errors, "Тонариум: "), 2)
            << "one line when the sound goes or is not there, one when it is back:\n"
            << errors;
        EXPECT_NE(errors.find("the sound is back"), std::string::npos) << errors;
    }

    Xvfb xvfb_;
    SoundServer server_{GetParam()};
};

TEST_P(SoundServerTest, AfterTheServerIsKilledANewOneIsHeard) {
    ProgramUnderTest program(xvfb_, Options());
    program.Start();
    ASSERT_NE(program.MainWindow(), 0u);
    ASSERT_TRUE(SecondsUntilHeard(program, 10s)) << "no sound before the kill";

    server_.Kill();
    std::this_thread::sleep_for(1500ms);  // long enough to notice the loss and try again
    ExpectHeardSoonAfterANewServer(program, "server killed and started again");
    EXPECT_EQ(program.Quit(), 0);
}

TEST_P(SoundServerTest, AProgramStartedBeforeTheServerIsHeardOnceItStarts) {
    server_.Stop();
    ProgramUnderTest program(xvfb_, Options());
    program.Start();
    ASSERT_NE(program.MainWindow(), 0u);
    std::this_thread::sleep_for(1500ms);  // some tries without a server
    ExpectHeardSoonAfterANewServer(program, "program started before the server");
    EXPECT_EQ(program.Quit(), 0);
}

INSTANTIATE_TEST_SUITE_P(Servers, SoundServerTest,
                         testing::Values(SoundServer::Kind::kPulseAudio,
                                         SoundServer::Kind::kPipeWire),
                         [](const auto& info) {
                             return info.param == SoundServer::Kind::kPipeWire ? "PipeWire"
                                                                               : "PulseAudio";
                         });

}  // namespace
