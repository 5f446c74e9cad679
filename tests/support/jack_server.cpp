// SPDX-License-Identifier: MIT
#include "jack_server.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "child_process.h"
#include "poll_until.h"

namespace testing_support {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

void Quiet(const char*) {}

// A recorded message: when the recorder's cycle took it in JACK's clock, then its length and
// bytes.
constexpr std::size_t kArrival = sizeof(jack_time_t) + 4;

// JACK's clock is CLOCK_MONOTONIC_RAW; steady_clock is CLOCK_MONOTONIC. Over a test they differ
// by a constant, taken when the time is read.
Clock::time_point SteadyTime(jack_time_t at) {
    return Clock::time_point(Clock::now().time_since_epoch() -
                             std::chrono::microseconds(jack_get_time() - at));
}

}  // namespace

bool JackIsPipeWire() {
    return std::string(jack_get_version_string()).find("PipeWire") != std::string::npos;
}

jack_client_t* OpenJackClient(const std::string& server, const char* name) {
    jack_set_error_function(Quiet);
    jack_set_info_function(Quiet);
    return jack_client_open(name, static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                            nullptr, server.c_str());
}

// JACK registers at most eight servers on a machine and takes back the place of a dead one only
// for a server of the same name: a few names, used over and over, keep a killed server's place
// from being lost for good. A name whose server does not answer may still be held, by a server
// of another test run starting or by a killed one whose process id has been taken again: then
// the next name is tried.
JackServer::JackServer(int period, int rate) : period_(period), rate_(rate) {
    if (JackIsPipeWire()) {
        pipewire_ = std::make_unique<SoundServer>(SoundServer::Kind::kPipeWire, rate);
        name_ = pipewire_->PipeWireRemote();
        error_ = pipewire_->error();
        if (pipewire_->running()) AwaitClient("");
        return;
    }
    // Another test run on the machine may take a name between the probe and the start: then
    // the next one.
    for (int slot = 0; slot < 4; ++slot) {
        name_ = "tonarium-test-" + std::to_string(slot);
        if (jack_client_t* running = OpenJackClient(name_, "probe")) {
            jack_client_close(running);
            continue;
        }
        if (Start() || error_.find("already active") == std::string::npos) return;
    }
    error_ = "every server name tonarium-test-0 to 3 is taken:\n" + error_;
}

JackServer::~JackServer() {
    Stop();
    // A killed server leaves the semaphores of its clients behind.
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error))
        if (entry.path().filename().string().find("_" + name_ + "_") != std::string::npos)
            std::filesystem::remove(entry.path(), error);
}

bool JackServer::Start() {
    Stop();
    error_.clear();
    if (pipewire_) {
        if (pipewire_->Start()) return AwaitClient("");
        error_ = pipewire_->error();
        return false;
    }
    const std::string log = dir_.file("jackd.log");
    pid_ = StartInGroup({"jackd", "-R", "-n", name_, "-d", "dummy", "-r", std::to_string(rate_),
                         "-p", std::to_string(period_)},
                        EnvironmentWith({}), log);
    return AwaitClient(log);
}

// `log`: jackd's, for the failure message; PipeWire keeps its own.
bool JackServer::AwaitClient(const std::string& log) {
    const pid_t leader = pipewire_ ? pipewire_->pid() : pid_;
    for (const auto deadline = Clock::now() + 10s; leader > 0 && Clock::now() < deadline;
         std::this_thread::sleep_for(20ms)) {
        if (!pipewire_ && waitpid(leader, nullptr, WNOHANG) != 0) {
            pid_ = -1;
            error_ = "jackd ended at start:\n" + Tail(log);
            return false;
        }
        if (jack_client_t* probe = OpenJackClient(name_, "probe")) {
            jack_client_close(probe);
            return true;
        }
    }
    error_ = std::string(Kind()) + " took no JACK client:\n" + Tail(log);
    Kill();
    return false;
}

void JackServer::Stop() {
    if (pipewire_) pipewire_->Stop();
    EndGroup(pid_, SIGTERM);
    pid_ = -1;
}

void JackServer::Hang(bool hung) {
    const pid_t group = pipewire_ ? pipewire_->pid() : pid_;
    if (group > 0) kill(-group, hung ? SIGSTOP : SIGCONT);
}

void JackServer::Kill() {
    if (pipewire_) pipewire_->Kill();
    EndGroup(pid_, SIGKILL);
    pid_ = -1;
}

void JackServer::Export() const {
    if (!pipewire_) {
        setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
        return;
    }
    setenv("PIPEWIRE_REMOTE", name_.c_str(), 1);
    setenv("PIPEWIRE_QUANTUM", (std::to_string(period_) + "/" + std::to_string(rate_)).c_str(), 1);
}

JackMidiRecorder::JackMidiRecorder(const JackServer& server)
    : client_(OpenJackClient(server.name(), "recorder")),
      arrived_(jack_ringbuffer_create(1 << 16)) {
    if (!client_) return;
    port_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (!port_ || jack_set_process_callback(client_, &Process, this) != 0 ||
        jack_activate(client_) != 0)
        port_ = nullptr;
}

JackMidiRecorder::~JackMidiRecorder() {
    if (client_) jack_client_close(client_);
    jack_ringbuffer_free(arrived_);
}

int JackMidiRecorder::Process(jack_nframes_t frames, void* self) {
    auto& recorder = *static_cast<JackMidiRecorder*>(self);
    const jack_time_t now = jack_get_time();
    const auto keep = [&](const jack_midi_data_t* bytes, std::size_t size) {
        char record[kArrival] = {};
        std::memcpy(record, &now, sizeof now);
        record[sizeof now] = static_cast<char>(size);
        std::copy(bytes, bytes + size, record + sizeof now + 1);
        if (jack_ringbuffer_write_space(recorder.arrived_) >= kArrival)
            jack_ringbuffer_write(recorder.arrived_, record, kArrival);
    };
    // Each cycle of ours begins where the one before ended, unless the server ran one without us.
    const jack_nframes_t cycle = jack_last_frame_time(recorder.client_);
    if (recorder.started_ && cycle - recorder.lastCycle_ != frames) keep(nullptr, 0);
    recorder.lastCycle_ = cycle;
    recorder.started_ = true;
    void* buffer = jack_port_get_buffer(recorder.port_, frames);
    for (std::uint32_t index = 0, count = jack_midi_get_event_count(buffer); index < count;
         ++index) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, index) == 0 && event.size <= 3)
            keep(event.buffer, event.size);
    }
    return 0;
}

// A port can be there before its client is active, and JACK connects only active clients' ports.
bool JackMidiRecorder::ConnectFrom(const std::string& port, std::chrono::milliseconds timeout) {
    for (const auto deadline = Clock::now() + timeout; recording() && Clock::now() < deadline;
         std::this_thread::sleep_for(10ms))
        if (jack_connect(client_, port.c_str(), jack_port_name(port_)) == 0) return true;
    return false;
}

std::vector<JackMidiRecorder::Message> JackMidiRecorder::WaitFor(
    std::size_t count, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        char record[kArrival];
        while (jack_ringbuffer_read_space(arrived_) >= kArrival) {
            jack_ringbuffer_read(arrived_, record, kArrival);
            jack_time_t at;
            std::memcpy(&at, record, sizeof at);
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(record + sizeof at + 1);
            const Clock::time_point arrival = SteadyTime(at);
            if (record[sizeof at] == 0)
                missed_.push_back(arrival);
            else
                messages_.push_back({{bytes, bytes + record[sizeof at]}, arrival});
        }
        if (messages_.size() >= count || Clock::now() >= deadline) return messages_;
        std::this_thread::sleep_for(5ms);
    }
}

JackMidiSender::JackMidiSender(const JackServer& server, const char* name, bool physical)
    : client(OpenJackClient(server.name(), name)) {
    if (client && jack_set_process_callback(client, &Process, this) == 0 &&
        jack_activate(client) == 0)
        port = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE,
                                  JackPortIsOutput | (physical ? JackPortIsPhysical : 0), 0);
}

JackMidiSender::~JackMidiSender() {
    jack_client_close(client);
}

bool JackMidiSender::ConnectedTo(const char* other) const {
    return jack_port_connected_to(port, other);
}

void JackMidiSender::Send(std::vector<Bytes> messages) {
    PollUntil([&] { return !pending; }, 5, 1ms);
    batch = std::move(messages);
    pending = true;
}

Clock::time_point JackMidiSender::SentAt() const {
    return SteadyTime(sentAt);
}

int JackMidiSender::Process(jack_nframes_t frames, void* self) {
    auto& sender = *static_cast<JackMidiSender*>(self);
    void* buffer = sender.port ? jack_port_get_buffer(sender.port, frames) : nullptr;
    if (buffer) jack_midi_clear_buffer(buffer);
    if (!buffer || !sender.pending) return 0;
    for (const Bytes& message : sender.batch)
        jack_midi_event_write(buffer, 0, message.data(), message.size());
    sender.sentAt = jack_get_time();
    sender.pending = false;
    return 0;
}

}  // namespace testing_support
