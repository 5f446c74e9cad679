// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <jack/ringbuffer.h>
#include <jack/types.h>

#include "sound_server.h"
#include "wav_fixtures.h"

namespace testing_support {

// A JACK server of our own, touching no other server: jackd with its dummy driver, so it needs no
// sound card, under a server name of its own; or, when this process runs on PipeWire's JACK
// library (pw-jack sets LD_LIBRARY_PATH), a private PipeWire (see SoundServer) at a quantum of
// `period` frames. It runs its cycles at real-time priority where the process may, as a
// desktop's does: without it a busy machine makes it skip clients' cycles and lose their MIDI.
// Start brings up a new one at the same address, so clients started with Export's environment
// find it again.
class JackServer {
  public:
    explicit JackServer(int period = 64, int rate = 48000);
    ~JackServer();
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    // False, with error() saying why, when no client could connect within 10 s.
    bool Start();
    void Stop();  // SIGTERM, then SIGKILL for what is left after 5 s
    void Kill();  // SIGKILL, as a crash would end it
    // Stops the server as a hang would (SIGSTOP to its processes), or lets it go on (SIGCONT).
    void Hang(bool hung);
    bool running() const { return pipewire_ ? pipewire_->running() : pid_ > 0; }
    const std::string& error() const { return error_; }
    // The server name that clients ask for (PipeWire's: the path of its socket).
    const std::string& name() const { return name_; }
    const char* Kind() const { return pipewire_ ? "PipeWire" : "jackd"; }
    // The programs it runs.
    std::vector<std::string> Programs() const {
        return pipewire_ ? pipewire_->Programs() : std::vector<std::string>{"jackd"};
    }
    // PipeWire's sound server, where it is PipeWire; nullptr for jackd.
    const SoundServer* sound() const { return pipewire_.get(); }
    int period() const { return period_; }
    int rate() const { return rate_; }
    // Sets JACK_DEFAULT_SERVER (PipeWire: PIPEWIRE_REMOTE and PIPEWIRE_QUANTUM) in this process,
    // for the clients it starts next.
    void Export() const;

  private:
    bool AwaitClient(const std::string& log);

    int period_;
    int rate_;
    std::string name_;
    TempDir dir_;
    pid_t pid_ = -1;
    std::unique_ptr<SoundServer> pipewire_;
    std::string error_;
};

// Whether this process runs on PipeWire's JACK library rather than jackd's.
bool JackIsPipeWire();

// A client of the server of that name, which it never starts, with libjack's messages kept off
// standard error; nullptr when no server answers.
jack_client_t* OpenJackClient(const std::string& server, const char* name);

// A JACK client that records every MIDI message reaching its input port, with the moment its
// cycle took it in as steady_clock time: what a synth connected to the port would get, and when.
class JackMidiRecorder {
  public:
    using Clock = std::chrono::steady_clock;
    struct Message {
        std::vector<std::uint8_t> bytes;
        Clock::time_point arrival;
    };

    explicit JackMidiRecorder(const JackServer& server);
    ~JackMidiRecorder();
    JackMidiRecorder(const JackMidiRecorder&) = delete;
    JackMidiRecorder& operator=(const JackMidiRecorder&) = delete;
    bool recording() const { return port_ != nullptr; }

    // Connects the output port of that full name to ours once it is there, waiting up to
    // `timeout`.
    bool ConnectFrom(const std::string& port, std::chrono::milliseconds timeout);
    // Every message so far, once there are `count` or `timeout` has passed.
    std::vector<Message> WaitFor(std::size_t count, std::chrono::milliseconds timeout);
    // When the recorder found it had missed a cycle of the server, as of the last WaitFor: when
    // a client is late the server goes on to the next cycle, and what a port sent in the cycle
    // that the recorder missed is lost to it. Messages missing while the recorder missed no
    // cycle were never sent.
    const std::vector<Clock::time_point>& missedCycles() const { return missed_; }

  private:
    static int Process(jack_nframes_t frames, void* self);

    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    jack_nframes_t lastCycle_ = 0;  // when the last cycle began, in frames; on JACK's thread
    bool started_ = false;          // on JACK's thread
    // From the process callback, without waiting: the message's JACK time in microseconds, its
    // length and its bytes; length 0 for a missed cycle.
    jack_ringbuffer_t* arrived_;
    std::vector<Message> messages_;
    std::vector<Clock::time_point> missed_;
};

// A client that plays from its port as a device's bridge (`physical`) or a program would, each
// Send in one cycle. Its port comes once it is active, as a bridge's do: JACK connects no inactive
// client's port.
struct JackMidiSender {
    using Bytes = std::vector<std::uint8_t>;

    JackMidiSender(const JackServer& server, const char* name, bool physical);
    ~JackMidiSender();
    bool ConnectedTo(const char* other) const;
    // Hands the messages to the next cycle, once the one before has taken the last batch.
    void Send(std::vector<Bytes> messages);
    // When the cycle that took the last batch ran, as steady_clock time.
    std::chrono::steady_clock::time_point SentAt() const;
    static int Process(jack_nframes_t frames, void* self);

    jack_client_t* client;
    std::atomic<jack_port_t*> port{nullptr};
    std::vector<Bytes> batch;  // Send's while pending is false, JACK's thread's while true
    std::atomic<bool> pending{false};
    std::atomic<jack_time_t> sentAt{0};
};

}  // namespace testing_support
