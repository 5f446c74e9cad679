// SPDX-License-Identifier: MIT
#include <pipewire/pipewire.h>
#include <spa/param/audio/raw-utils.h>
#include <spa/utils/result.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/sound/outputs.h"

namespace platform {

namespace {

// The period the stream asks of the graph, which the whole graph takes while the stream plays: a
// note waits for the next period to start and then plays one period later. By
// `scripts/bench.sh latency` (figures in the README) 64 frames is 2 ms sooner and 256 frames 5 ms
// later; 64 wakes every client of the graph 750 times a second. PIPEWIRE_LATENCY in the
// environment overrides it, as for any PipeWire client.
constexpr const char* kLatency = "128/48000";
constexpr std::uint32_t kStride = Output::kChannels * sizeof(float);

// Whether a server's socket is where libpipewire looks for it. Trying costs a thread and a
// context that loads PipeWire's modules, which a desktop without PipeWire should not pay again
// and again.
bool ServerSocketExists() {
    const char* remote = std::getenv("PIPEWIRE_REMOTE");
    std::string socket = remote && *remote ? remote : "pipewire-0";
    if (socket.front() != '/') {
        const char* folder = nullptr;
        for (const char* variable : {"PIPEWIRE_RUNTIME_DIR", "XDG_RUNTIME_DIR", "USERPROFILE"})
            if (!folder) folder = std::getenv(variable);
        if (!folder) return false;
        socket = std::string(folder) + "/" + socket;
    }
    return access(socket.c_str(), F_OK) == 0;
}

class PipeWireOutput final : public Output {
  public:
    explicit PipeWireOutput(Mixer& mixer) : Output(mixer) {}
    ~PipeWireOutput() override;

    bool Start();
    const char* Name() const override { return "PipeWire"; }

  private:
    void Activate(bool active) override;
    // On the loop's thread: making the context costs milliseconds that start-up should not wait.
    static void Connect(void* stream, std::uint64_t);
    static void OnProcess(void* stream) noexcept;
    void CountMissedCycles(std::uint32_t frames) noexcept;
    static void OnStateChanged(void* stream, pw_stream_state, pw_stream_state state,
                               const char* error);
    static void OnCoreError(void* stream, std::uint32_t id, int, int res, const char* message);
    void Lost(const char* what, int res);

    pw_thread_loop* loop_ = nullptr;
    spa_source* connect_ = nullptr;
    // Made on the loop's thread; the program's thread uses them under the loop's lock.
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_stream* stream_ = nullptr;
    spa_hook coreListener_{};
    spa_hook streamListener_{};
    // The data thread's own: where the graph's clock stood at the last call, and the frames
    // that call filled.
    std::uint64_t lastTicks_ = 0;
    std::uint32_t lastFrames_ = 0;
};

PipeWireOutput::~PipeWireOutput() {
    if (!loop_) return;
    // With the loop's lock held nothing runs on its thread: Connect has run or never will.
    pw_thread_loop_lock(loop_);
    pw_loop_destroy_source(pw_thread_loop_get_loop(loop_), connect_);
    if (stream_) pw_stream_destroy(stream_);  // no callback runs once it is gone
    if (core_) pw_core_disconnect(core_);
    pw_thread_loop_unlock(loop_);
    pw_thread_loop_stop(loop_);
    if (context_) pw_context_destroy(context_);
    pw_thread_loop_destroy(loop_);
}

bool PipeWireOutput::Start() {
    if (!ServerSocketExists()) return false;
    static const bool initialised = (pw_init(nullptr, nullptr), true);
    loop_ = initialised ? pw_thread_loop_new("tonarium-pipewire", nullptr) : nullptr;
    if (loop_ && pw_thread_loop_start(loop_) < 0) {
        pw_thread_loop_destroy(loop_);
        loop_ = nullptr;
    }
    if (!loop_) return false;
    pw_thread_loop_lock(loop_);
    connect_ = pw_loop_add_event(pw_thread_loop_get_loop(loop_), Connect, this);
    if (connect_) pw_loop_signal_event(pw_thread_loop_get_loop(loop_), connect_);
    pw_thread_loop_unlock(loop_);
    return connect_ != nullptr;
}

void PipeWireOutput::Connect(void* data, std::uint64_t) {
    auto* self = static_cast<PipeWireOutput*>(data);
    if (self->context_) return;  // once
    self->context_ = pw_context_new(
        pw_thread_loop_get_loop(self->loop_),
        // The real-time client configuration: the thread that renders runs at real-time
        // priority where the system allows it, as a player with periods of milliseconds must.
        pw_properties_new(PW_KEY_APP_NAME, "Тонариум", PW_KEY_CONFIG_NAME, "client-rt.conf",
                          nullptr),
        0);
    if (!self->context_) return self->Lost("cannot make a context", -errno);
    self->core_ = pw_context_connect(self->context_, nullptr, 0);
    if (!self->core_) return self->Lost("cannot connect", -errno);  // no server
    static constexpr pw_core_events kCoreEvents = [] {
        pw_core_events events{};
        events.version = PW_VERSION_CORE_EVENTS;
        events.error = OnCoreError;
        return events;
    }();
    pw_core_add_listener(self->core_, &self->coreListener_, &kCoreEvents, self);

    self->stream_ =
        pw_stream_new(self->core_, "Тонариум",
                      pw_properties_new(PW_KEY_APP_NAME, "Тонариум", PW_KEY_MEDIA_TYPE, "Audio",
                                        PW_KEY_MEDIA_CATEGORY, "Playback", PW_KEY_MEDIA_ROLE,
                                        "Music", PW_KEY_NODE_LATENCY, kLatency, nullptr));
    if (!self->stream_) return self->Lost("cannot make a stream", -errno);
    static constexpr pw_stream_events kEvents = [] {
        pw_stream_events events{};
        events.version = PW_VERSION_STREAM_EVENTS;
        events.state_changed = OnStateChanged;
        events.process = OnProcess;
        return events;
    }();
    pw_stream_add_listener(self->stream_, &self->streamListener_, &kEvents, self);

    spa_audio_info_raw format{};
    format.format = SPA_AUDIO_FORMAT_F32;
    format.rate = Output::kRate;
    format.channels = kChannels;
    format.position[0] = SPA_AUDIO_CHANNEL_FL;
    format.position[1] = SPA_AUDIO_CHANNEL_FR;
    std::uint8_t space[512];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(space, sizeof space);
    const spa_pod* params[] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &format)};
    const auto flags = static_cast<pw_stream_flags>(
        PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS);
    if (const int res =
            pw_stream_connect(self->stream_, PW_DIRECTION_OUTPUT, PW_ID_ANY, flags, params, 1);
        res < 0)
        self->Lost("cannot connect the stream", res);
}

void PipeWireOutput::Lost(const char* what, int res) {
    char reason[160];
    std::snprintf(reason, sizeof reason, "%s (%s)", what, spa_strerror(res));
    renderer_->Lost(reason);
}

void PipeWireOutput::Activate(bool active) {
    pw_thread_loop_lock(loop_);
    if (stream_) pw_stream_set_active(stream_, active);
    pw_thread_loop_unlock(loop_);
}

// Real-time: PipeWire's data thread calls it once a cycle, and the whole graph waits for it, so
// it never allocates, logs or locks.
void PipeWireOutput::OnProcess(void* data) noexcept {
    auto* self = static_cast<PipeWireOutput*>(data);
    // With PW_STREAM_FLAG_RT_PROCESS the stream calls this only when it has a free buffer (0.3.65,
    // stream.c: call_process and update_requested), so there is always one to fill.
    pw_buffer* buffer = pw_stream_dequeue_buffer(self->stream_);
    if (!buffer) return;
    spa_data& out = buffer->buffer->datas[0];
    std::uint32_t frames = out.data ? out.maxsize / kStride : 0;
    if (buffer->requested) frames = std::min<std::uint32_t>(frames, buffer->requested);
    self->CountMissedCycles(frames);
    if (frames > 0)
        self->renderer_->Render(static_cast<float*>(out.data), static_cast<int>(frames));
    out.chunk->offset = 0;
    out.chunk->stride = kStride;
    out.chunk->size = frames * kStride;
    pw_stream_queue_buffer(self->stream_, buffer);
}

// PipeWire 0.3.65 tells a playback client of no underrun of its own: pw_time has no xrun count
// and the node's xrun counter lives in the server's side of the graph. What the client can see
// is the graph's clock: pw_time.ticks moves on by one cycle's duration from one call to the next
// (stream.c, copy_position), so a call that finds it moved on by more comes after cycles that the
// graph ran without this stream's sound, its thread woken too late to fill them. Those cycles, in
// periods of the size the last call filled, are what this counts.
void PipeWireOutput::CountMissedCycles(std::uint32_t frames) noexcept {
    pw_time time{};
    if (pw_stream_get_time_n(stream_, &time, sizeof time) < 0 || time.rate.denom == 0) return;
    // The clock's ticks in the stream's frames, should the graph run at another rate.
    const auto moved =
        static_cast<double>(time.ticks - lastTicks_) * time.rate.num * kRate / time.rate.denom;
    if (lastFrames_ > 0 && time.ticks > lastTicks_)
        renderer_->FellBehind(static_cast<int>(std::min(moved / lastFrames_, 1e6) + 0.5) - 1);
    lastTicks_ = time.ticks;
    lastFrames_ = frames;
}

void PipeWireOutput::OnStateChanged(void* data, pw_stream_state, pw_stream_state state,
                                    const char* error) {
    auto* self = static_cast<PipeWireOutput*>(data);
    if (state == PW_STREAM_STATE_STREAMING) self->renderer_->Started();
    // Unconnected is where a stream goes when the server hangs up.
    if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED)
        self->renderer_->Lost(error ? error : "the stream was disconnected");
}

// The core's error comes before the stream's state: the stream hears of it through the core.
void PipeWireOutput::OnCoreError(void* data, std::uint32_t id, int, int res, const char* message) {
    if (id != PW_ID_CORE) return;
    static_cast<PipeWireOutput*>(data)->Lost(message ? message : "error", res);
}

}  // namespace

std::unique_ptr<Output> OpenPipeWireOutput(Mixer& mixer) {
    return StartOutput<PipeWireOutput>(mixer);
}

}  // namespace platform
