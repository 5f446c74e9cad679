// SPDX-License-Identifier: MIT
// The built program and a sound server that goes away, PulseAudio or PipeWire: the notes are heard
// again soon after a new server starts, whether the old one was killed under the program or none
// ran when it started.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "poll_until.h"
#include "program_under_test.h"
#include "sound_server.h"

namespace {

using namespace testing_support;
using namespace std::chrono_literals;
using Clock = MonitorRecorder::Clock;

// The program's lines on whether there is sound: not those on how it went meanwhile (an output
// that fell behind, notes dropped while the server was away), which a busy machine may bring.
std::size_t SoundLines(const std::string& errors) {
    std::istringstream lines(errors);
    std::size_t count = 0;
    for (std::string line; std::getline(lines, line);)
        count += line.starts_with("Тонариум: ") &&
                 line.find(" fell behind ") == std::string::npos &&
                 line.find(" dropped: ") == std::string::npos;
    return count;
}

// The program opens its output again about once a second; the rest is for a busy machine.
constexpr auto kHeardWithin = 2s;

class SoundServerTest : public testing::TestWithParam<SoundServer::Kind> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(xvfb_.running()) << xvfb_.failure();
        if (const std::string missing = FirstMissing(server_.Programs()); !missing.empty())
            GTEST_SKIP() << missing << " is not installed (scripts/setup.sh --test installs it)";
        ASSERT_TRUE(server_.running()) << server_.error();
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

    // The application names of the streams that play to the server now.
    std::vector<std::string> Clients() {
        PulseConnection connection(server_.PulseServer(), "output watch");
        struct Inputs {
            PulseConnection* connection;
            std::vector<std::string> names = {};
        } inputs{&connection};
        std::lock_guard lock(connection);
        if (!connection.connected()) return {};
        connection.Finish(pa_context_get_sink_input_info_list(
            connection.context(),
            [](pa_context*, const pa_sink_input_info* input, int, void* data) {
                auto* inputs = static_cast<Inputs*>(data);
                const char* name =
                    input ? pa_proplist_gets(input->proplist, PA_PROP_APPLICATION_NAME) : nullptr;
                if (input) inputs->names.push_back(name ? name : "");
                if (!input) PulseConnection::Signal(inputs->connection);
            },
            &inputs));
        return inputs.names;
    }

    // How long after `since` the program's output showed up on the server, looking every 10 ms.
    std::optional<double> SecondsUntilOutputOpens(Clock::time_point since, Clock::duration limit) {
        while (Clock::now() < since + limit) {
            if (!Clients().empty())
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
        EXPECT_EQ(SoundLines(errors), 2u)
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

// The server stopped for 8 s (SIGSTOP), as a hung or swapped-out server would be: the window keeps
// lighting every key at once, and soon after the server goes on the program plays through its
// own stream again, not through ALSA's plug-in for the server.
TEST_P(SoundServerTest, AStoppedServerNeverHoldsUpTheWindowAndItsOwnStreamComesBack) {
    ProgramUnderTest program(xvfb_, Options());
    program.Start();
    const unsigned long window = program.MainWindow();
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(SecondsUntilHeard(program, 10s)) << "no sound before the stop";

    kill(-server_.pid(), SIGSTOP);
    const auto stopped = Clock::now();
    Clock::duration slowest{};
    int presses = 0;
    for (; Clock::now() < stopped + 8s; ++presses) {
        const char* key = presses % 2 ? "q" : "a";  // notes 2 and 3
        const int note = presses % 2 ? 2 : 3;
        const auto pressed = Clock::now();
        program.Key(key, true);
        const QImage lit = program.GrabUntil(
            window, [note](const QImage& now) { return ProgramUnderTest::Lit(now, note); }, 2, 5ms);
        slowest = std::max(slowest, Clock::now() - pressed);
        EXPECT_TRUE(ProgramUnderTest::Lit(lit, note)) << "press " << presses;
        program.Key(key, false);
        std::this_thread::sleep_for(250ms);
    }
    kill(-server_.pid(), SIGCONT);
    const auto resumed = Clock::now();
    const bool own = PollUntil(
        [&] {
            const auto clients = Clients();
            return clients == std::vector<std::string>{"Тонариум"};
        },
        2, 20ms);
    std::printf(
        "%d presses while stopped: slowest highlight %.0f ms after its key; own stream alone "
        "again %.2f s after the server went on\n",
        presses, std::chrono::duration<double, std::milli>(slowest).count(),
        std::chrono::duration<double>(Clock::now() - resumed).count());
    EXPECT_LE(slowest, 100ms) << "a highlight waited for the server";
    EXPECT_TRUE(own) << "2 s after the server went on, the server plays: "
                     << ::testing::PrintToString(Clients());
    const auto noteWay = SecondsUntilHeard(program, 2s);
    ASSERT_TRUE(noteWay) << "no note heard after the stop";
    std::printf("a note heard %.0f ms after its key\n", *noteWay * 1000);
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
