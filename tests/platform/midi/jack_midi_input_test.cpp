// SPDX-License-Identifier: MIT
// The JACK port's input as devices and programs play into it, on a private jackd, or on a private
// PipeWire through its JACK library (the tests named pw-jack.*), at 16-frame periods.
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <poll.h>

#include <future>

#include "jack_server.h"
#include "platform/midi/jack_midi_port.h"
#include "poll_until.h"

namespace {

using namespace testing_support;
using namespace std::chrono_literals;
using platform::JackMidiPort;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kInput = "Тонариум:вход";

bool Readable(const platform::MidiPort& port, int milliseconds) {
    pollfd readable{port.InputFd(), POLLIN, 0};
    return poll(&readable, 1, milliseconds) == 1;
}

// What the port takes in within `seconds`, read as the event loop would, until there are `count`.
std::vector<Bytes> Received(platform::MidiPort& port, std::size_t count, double seconds) {
    std::vector<Bytes> received;
    platform::MidiMessage in;
    PollUntil(
        [&] {
            while (port.Receive(in))
                received.emplace_back(in.bytes.begin(), in.bytes.begin() + in.size);
            return received.size() >= count;
        },
        seconds, 1ms);
    return received;
}

TEST(JackMidiInput, DevicesAreConnectedAndTheirChannelMessagesComeOnceEachInOrder) {
    JackServer jack(16);
    ASSERT_TRUE(jack.running()) << jack.Kind() << ": " << jack.error();
    jack.Export();
    JackMidiSender early(jack, "early", true);
    const auto port = JackMidiPort::Open("Тонариум");
    const auto manual = JackMidiPort::Open("Сам", platform::MidiConnect::kNone);
    ASSERT_TRUE(port && manual);
    JackMidiSender program(jack, "program", false), device(jack, "device", true);
    ASSERT_TRUE(early.port && program.port && device.port);
    // On PipeWire a connection carries messages some cycles after it is made.
    const auto flowing = [&] {
        device.Send({{0x80, 0, 0}});  // a note off for no note
        return Readable(*port, 50);
    };
    ASSERT_TRUE(PollUntil(flowing, 5))
        << "nothing came from a device plugged in since the port opened";
    Received(*port, SIZE_MAX, 0.1);
    EXPECT_TRUE(early.ConnectedTo(kInput)) << "one there as the port opened";
    // Ports are connected in the order they came.
    EXPECT_FALSE(program.ConnectedTo(kInput)) << "a program's port is the user's to connect";
    EXPECT_FALSE(early.ConnectedTo("Сам:вход") || device.ConnectedTo("Сам:вход"));

    // A chord, then its note offs as note ons at velocity 0 (PipeWire's JACK library makes them
    // the note offs they mean) and more; a clock, SysEx, active sensing and a message cut short go.
    std::vector<Bytes> chord, offs = {{0xF8}, {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, {0xFE}}, come;
    for (std::uint8_t note = 48; note < 72; ++note) {
        chord.push_back({0x91, note, 90});
        offs.push_back({0x91, note, 0});
        come.push_back(jack.sound() ? Bytes{0x81, note, 64} : offs.back());
    }
    for (Bytes message : {Bytes{0xC1, 20}, Bytes{0xB1, 64, 127}, Bytes{0xE1, 0, 64},
                          Bytes{0xD1, 30}, Bytes{0x80, 60, 64}})
        offs.push_back(message), come.push_back(message);
    offs.push_back({0x91, 61});
    // A client late for a cycle loses the end of what was sent in it, or all of it: that is sent
    // again.
    const auto play = [&](const std::vector<Bytes>& cycle, const std::vector<Bytes>& comes) {
        std::vector<Bytes> received;
        const auto cut = [&] {
            return received.size() < comes.size() &&
                   std::equal(received.begin(), received.end(), comes.begin());
        };
        for (int tries = 0; tries < 3 && cut(); ++tries) {
            device.Send(cycle);
            received = Readable(*port, 1000) ? Received(*port, comes.size(), 1) : received;
        }
        return received;
    };
    EXPECT_EQ(play(chord, chord), chord) << "on " << jack.Kind();
    EXPECT_EQ(play(offs, come), come) << "on " << jack.Kind();
    EXPECT_FALSE(Readable(*port, 100)) << "readable with nothing to read, or more came";
    EXPECT_EQ(port->InputDropped(), 0u);
}

// A server that stops answering holds up each request to it: the port goes all the same, and its
// client closes once the server goes on.
TEST(JackMidiInput, AServerHungAsADeviceIsConnectedHoldsUpClosingThePortALittleAtMost) {
    JackServer jack(16);
    ASSERT_TRUE(jack.running()) << jack.Kind() << ": " << jack.error();
    jack.Export();
    auto port = JackMidiPort::Open("Тонариум");
    JackMidiSender device(jack, "device", true);
    ASSERT_TRUE(port && device.port);
    jack.Hang(true);
    auto closing = std::async(std::launch::async, [&] { port.reset(); });
    const bool closed = closing.wait_for(1s) == std::future_status::ready;
    jack.Hang(false);
    EXPECT_TRUE(closed) << "closing waited for the hung server";
    EXPECT_TRUE(PollUntil([&] { return !jack_port_by_name(device.client, kInput); }, 10))
        << "the client left open";
}

}  // namespace
