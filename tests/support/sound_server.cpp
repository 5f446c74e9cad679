// SPDX-License-Identifier: MIT
#include "sound_server.h"

#include "child_process.h"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace testing_support {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// WirePlumber gives up at once when PipeWire is not answering yet, and nothing then makes the
// null sink the default: PipeWire wins that race by some 30 ms on an idle machine, and a cold or
// busy one loses it. So the others start once PipeWire answers. Once any of the three ends, the
// shell and the session end with it, which Start sees at once.
constexpr const char* kPipeWireStart =
    "pipewire & until pw-cli info 0 >/dev/null 2>&1; do kill -0 $! || exit 1; sleep 0.02; done; "
    "pipewire-pulse & wireplumber & wait -n; echo \"a server process ended: $?\"; exit 1";

void SignalOnContext(pa_context*, void* connection) {
    PulseConnection::Signal(connection);
}

}  // namespace

PulseConnection::PulseConnection(const std::string& server, const char* clientName)
    : loop_(pa_threaded_mainloop_new()) {
    pa_threaded_mainloop_start(loop_);
    std::lock_guard lock(*this);
    pa_mainloop_api_once(
        pa_threaded_mainloop_get_api(loop_),
        [](pa_mainloop_api*, void*) {
            const sched_param priority{.sched_priority = 10};
            pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority);
        },
        nullptr);
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), clientName);
    pa_context_set_state_callback(context_, SignalOnContext, this);
    if (pa_context_connect(context_, server.c_str(), PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return;
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(context_);
        if (state == PA_CONTEXT_READY) connected_ = true;
        if (state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state)) return;
        pa_threaded_mainloop_wait(loop_);
    }
}

PulseConnection::~PulseConnection() {
    lock();
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    unlock();
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
}

void PulseConnection::Finish(pa_operation* operation) {
    if (!operation) return;
    while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
        pa_threaded_mainloop_wait(loop_);
    pa_operation_unref(operation);
}

bool PulseConnection::AwaitReady(pa_stream* stream) {
    pa_stream_set_state_callback(
        stream, [](pa_stream*, void* c) { Signal(c); }, this);
    while (pa_stream_get_state(stream) == PA_STREAM_CREATING) pa_threaded_mainloop_wait(loop_);
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    return pa_stream_get_state(stream) == PA_STREAM_READY;
}

void PulseConnection::Close(pa_stream* stream) {
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_set_write_callback(stream, nullptr, nullptr);
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
}

void PulseConnection::Signal(void* connection) {
    pa_threaded_mainloop_signal(static_cast<PulseConnection*>(connection)->loop_, 0);
}

SoundServer::SoundServer(Kind kind, int sinkRate) : kind_(kind), sinkRate_(sinkRate) {
    Start();
}

SoundServer::~SoundServer() {
    Stop();
}

std::string SoundServer::PulseServer() const {
    // PulseAudio listens where we tell it; pipewire-pulse under XDG_RUNTIME_DIR/pulse.
    return "unix:" + dir_.path().string() +
           (kind_ == Kind::kPulseAudio ? "/native" : "/pulse/native");
}

std::string SoundServer::PipeWireRemote() const {
    return dir_.path().string() + "/pipewire-0";
}

std::vector<std::string> SoundServer::Programs() const {
    if (kind_ == Kind::kPulseAudio) return {"pulseaudio"};
    return {"dbus-run-session", "bash", "pipewire", "pw-cli", "pipewire-pulse", "wireplumber"};
}

void SoundServer::Export() const {
    setenv("PULSE_SERVER", PulseServer().c_str(), 1);
    setenv("XDG_RUNTIME_DIR", dir_.path().c_str(), 1);
}

bool SoundServer::Start() {
    Stop();
    // Clients refuse a runtime folder that others may read.
    std::filesystem::permissions(dir_.path(), std::filesystem::perms::owner_all);
    error_.clear();
    Launch();
    const auto deadline = Clock::now() + 10s;
    while (pid_ > 0 && Clock::now() < deadline) {
        if (waitpid(pid_, nullptr, WNOHANG) != 0) {
            error_ = std::string(Name()) + " ended at start";
            break;
        }
        PulseConnection connection(PulseServer(), "sound server set-up");
        if (connection.connected()) {
            if (SetUpSink(connection)) return true;
            break;
        }
        std::this_thread::sleep_for(50ms);
    }
    if (error_.empty()) error_ = std::string(Name()) + " did not come up";
    error_ += ":\n" + Tail(dir_.file("server.log"));
    Kill();
    return false;
}

void SoundServer::Launch() {
    const std::string dir = dir_.path().string();
    // Everything the servers keep goes into our folder; no display, no outside session bus.
    std::vector<std::string> environment = EnvironmentWith({{"XDG_RUNTIME_DIR", dir},
                                                            {"HOME", dir},
                                                            {"XDG_CONFIG_HOME", dir + "/config"},
                                                            {"XDG_STATE_HOME", dir + "/state"},
                                                            {"DISPLAY", ""},
                                                            {"WAYLAND_DISPLAY", ""},
                                                            {"DBUS_SESSION_BUS_ADDRESS", ""},
                                                            {"PULSE_SERVER", ""},
                                                            {"PIPEWIRE_REMOTE", ""}});
    // PulseAudio run as root only warns that it is not a system-wide instance, which suits a
    // private server: no --system. -n skips the default script, so nothing looks for sound
    // cards, X11 or D-Bus; the protocol module gives the socket its fixed place.
    std::vector<std::string> arguments =
        kind_ == Kind::kPulseAudio
            ? std::vector<std::string>{"pulseaudio",
                                       "--daemonize=no",
                                       "-n",
                                       "--exit-idle-time=-1",
                                       "--use-pid-file=no",
                                       "--disallow-exit",
                                       "--log-target=stderr",
                                       "-L",
                                       "module-native-protocol-unix auth-anonymous=1 socket=" +
                                           dir + "/native"}
            : std::vector<std::string>{"dbus-run-session", "--", "bash", "-c", kPipeWireStart};
    pid_ = StartInGroup(arguments, environment, dir_.file("server.log"));
}

bool SoundServer::SetUpSink(PulseConnection& connection) {
    struct Query {
        PulseConnection* connection;
        bool done = false;
        std::string defaultSink = {};
    } query{&connection};
    std::lock_guard lock(connection);
    pa_context* context = connection.context();
    const std::string arguments = std::string("sink_name=") + kSinkName +
                                  " rate=" + std::to_string(sinkRate_) + " channels=2";
    connection.Finish(pa_context_load_module(
        context, "module-null-sink", arguments.c_str(),
        [](pa_context*, std::uint32_t index, void* query) {
            static_cast<Query*>(query)->done = index != PA_INVALID_INDEX;
            PulseConnection::Signal(static_cast<Query*>(query)->connection);
        },
        &query));
    if (!query.done) {
        error_ = std::string(Name()) + " would not load a null sink";
        return false;
    }
    // PipeWire's session manager may come up after its pulse service: ask until it has agreed.
    const auto deadline = Clock::now() + 10s;
    while (Clock::now() < deadline) {
        connection.Finish(pa_context_set_default_sink(
            context, kSinkName, [](pa_context*, int, void* c) { PulseConnection::Signal(c); },
            &connection));
        connection.Finish(pa_context_get_server_info(
            context,
            [](pa_context*, const pa_server_info* info, void* query) {
                auto* q = static_cast<Query*>(query);
                q->defaultSink = info && info->default_sink_name ? info->default_sink_name : "";
                PulseConnection::Signal(q->connection);
            },
            &query));
        if (query.defaultSink == kSinkName) return true;
        connection.unlock();
        std::this_thread::sleep_for(50ms);
        connection.lock();
    }
    error_ = std::string(Name()) + " did not make the null sink its default";
    return false;
}

void SoundServer::Stop() {
    EndGroup(SIGTERM);
}

void SoundServer::Kill() {
    EndGroup(SIGKILL);
}

void SoundServer::EndGroup(int signal) {
    testing_support::EndGroup(pid_, signal);
    pid_ = -1;
}

MonitorRecorder::MonitorRecorder(const SoundServer& server)
    : HeardSound(true), connection_(server.PulseServer(), "monitor recorder") {
    if (!connection_.connected()) return;
    {
        std::lock_guard lock(connection_);
        const pa_sample_spec format{PA_SAMPLE_FLOAT32NE,
                                    static_cast<std::uint32_t>(server.sinkRate()), 2};
        pa_stream* stream = pa_stream_new(connection_.context(), "monitor", &format, nullptr);
        pa_buffer_attr attributes{};
        attributes.maxlength = attributes.tlength = attributes.prebuf = attributes.minreq =
            static_cast<std::uint32_t>(-1);
        attributes.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(1000, &format));
        pa_stream_set_read_callback(stream, OnRead, this);
        const std::string monitor = std::string(SoundServer::kSinkName) + ".monitor";
        if (pa_stream_connect_record(stream, monitor.c_str(), &attributes,
                                     PA_STREAM_ADJUST_LATENCY) != 0 ||
            !connection_.AwaitReady(stream)) {
            PulseConnection::Close(stream);
            return;
        }
        stream_ = stream;
    }
    // A null sink left alone renders two seconds at a time: the first chunk comes once it has
    // taken up our short latency, and from then on the clock is right.
    const auto deadline = Clock::now() + 5s;
    while (ChunkFrames({}, deadline).second == 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
}

MonitorRecorder::~MonitorRecorder() {
    if (!stream_) return;
    std::lock_guard lock(connection_);
    PulseConnection::Close(stream_);
}

void MonitorRecorder::OnRead(pa_stream* stream, std::size_t, void* recorder) {
    auto* self = static_cast<MonitorRecorder*>(recorder);
    const auto arrival = Clock::now();
    const void* data = nullptr;
    std::size_t bytes = 0;
    while (pa_stream_peek(stream, &data, &bytes) == 0 && bytes > 0) {
        if (!data) self->overruns_.fetch_add(1);  // a hole: sound the server did not hand over
        self->Append(static_cast<const float*>(data), bytes / (2 * sizeof(float)), arrival);
        pa_stream_drop(stream);
    }
}

std::optional<HeardSound::Clock::time_point> HeardSound::FirstSoundAfter(Clock::time_point since,
                                                                         Clock::time_point until,
                                                                         float threshold) const {
    std::lock_guard lock(mutex_);
    auto chunk = std::partition_point(chunks_.begin(), chunks_.end(),
                                      [since](const Chunk& c) { return c.arrival < since; });
    for (; chunk != chunks_.end() && chunk->arrival <= until; ++chunk)
        if (chunk->peak > threshold) return chunk->arrival;
    return std::nullopt;
}

std::vector<float> HeardSound::LeftChannel(Clock::time_point heard, std::size_t frames) const {
    std::lock_guard lock(mutex_);
    const auto chunk = std::partition_point(chunks_.begin(), chunks_.end(),
                                            [heard](const Chunk& c) { return c.arrival < heard; });
    const std::size_t first = chunk == chunks_.begin() ? 0 : std::prev(chunk)->endSample;
    const std::size_t last = std::min(left_.size(), first + frames);
    return {left_.begin() + std::min(first, last), left_.begin() + last};
}

std::optional<HeardSound::Clock::time_point> HeardSound::WaitForSound(
    Clock::time_point since, std::chrono::milliseconds timeout, float threshold) const {
    const auto until = Clock::now() + timeout;
    for (;;) {
        if (auto heard = FirstSoundAfter(since, until, threshold)) return heard;
        if (Clock::now() > until) return std::nullopt;
        std::this_thread::sleep_for(5ms);
    }
}

std::pair<long, long> HeardSound::ChunkFrames(Clock::time_point since,
                                              Clock::time_point until) const {
    std::lock_guard lock(mutex_);
    std::pair<long, long> range{0, 0};
    for (const Chunk& chunk : chunks_) {
        if (chunk.arrival < since || chunk.arrival > until) continue;
        range.first = range.first ? std::min(range.first, chunk.frames) : chunk.frames;
        range.second = std::max(range.second, chunk.frames);
    }
    return range;
}

void HeardSound::Append(const float* samples, std::size_t frames, Clock::time_point arrival) {
    float peak = 0;
    for (std::size_t i = 0; samples && i < 2 * frames; ++i)
        peak = std::max(peak, std::fabs(samples[i]));
    std::lock_guard lock(mutex_);
    if (keepsSamples_) {
        for (std::size_t i = 0; i < frames; ++i) left_.push_back(samples ? samples[2 * i] : 0.0f);
    }
    chunks_.push_back({arrival, peak, static_cast<long>(frames), left_.size()});
}

void HeardSound::Reserve(std::size_t chunks) {
    std::lock_guard lock(mutex_);
    chunks_.reserve(chunks);
}

}  // namespace testing_support
