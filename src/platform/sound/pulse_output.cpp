// SPDX-License-Identifier: MIT
#include <pulse/pulseaudio.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/sound/outputs.h"

namespace platform {

namespace {

// The sound the server keeps queued, and how much of it is written at a time: a note is heard
// about a queue's length after the write that holds it. By `scripts/bench.sh latency` (figures in
// the README) 4 ms is 0.4 ms sooner than 5 ms; 3 ms was sooner still but leaves little for a busy
// machine; writing every 2 ms instead of every 1 ms made notes 0.5 ms later and the worst far
// later.
constexpr pa_usec_t kQueued = 4000;
constexpr pa_usec_t kWrite = 1000;
// A stream that falls behind queues twice as much, up to this: a busy server's own thread (the
// one that takes the writes in, which does not run in real time) can be late by several
// milliseconds, and a gap in the sound is worse than a later note.
constexpr pa_usec_t kMostQueued = 16000;
constexpr pa_sample_spec kFormat{PA_SAMPLE_FLOAT32NE, Output::kRate, Output::kChannels};
constexpr std::size_t kFrameBytes = Output::kChannels * sizeof(float);

// `queued` microseconds queued, written a quarter of it at a time.
pa_buffer_attr Buffer(pa_usec_t queued) {
    pa_buffer_attr buffer{};
    buffer.maxlength = buffer.prebuf = buffer.fragsize = static_cast<std::uint32_t>(-1);
    buffer.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(queued, &kFormat));
    buffer.minreq =
        static_cast<std::uint32_t>(pa_usec_to_bytes(queued * kWrite / kQueued, &kFormat));
    return buffer;
}

bool Exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

// Whether a server may answer: an address in the environment, or a socket where libpulse looks
// for a server of the user's own or of the system's. Trying costs a thread of its own, which a
// desktop without PulseAudio should not pay again and again. (A server named only on the X
// server's root window, by a remote desktop, is not looked for.)
bool ServerMayAnswer() {
    if (const char* server = std::getenv("PULSE_SERVER"); server && *server) {
        std::string_view address(server);
        if (address.starts_with("unix:")) address.remove_prefix(5);
        const bool onePath = address.starts_with('/') && address.find(' ') == address.npos;
        return !onePath || Exists(std::string(address));
    }
    std::string user;
    if (const char* folder = std::getenv("PULSE_RUNTIME_PATH"))
        user = folder;
    else if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"))
        user = std::string(runtime) + "/pulse";
    return (!user.empty() && Exists(user + "/native")) || Exists("/run/pulse/native") ||
           Exists("/var/run/pulse/native");
}

class PulseOutput final : public Output {
  public:
    explicit PulseOutput(Mixer& mixer) : Output(mixer) {}
    ~PulseOutput() override;

    bool Start();
    const char* Name() const override { return "PulseAudio"; }

  private:
    void Activate(bool active) override;
    void QueueMore() override;
    // On the loop's thread: making a context reads configuration, and may ask the X server for
    // the address of a server, which the program's thread should not wait for.
    static void Connect(pa_mainloop_api*, void* stream);
    void OpenStream();
    static void OnContextState(pa_context* context, void* stream);
    static void OnStreamState(pa_stream* stream, void* self);
    static void OnWritable(pa_stream* stream, std::size_t bytes, void* self) noexcept;
    static void OnUnderflow(pa_stream* stream, void* self) noexcept;
    // The context's last error, in PulseAudio's words.
    void Lost();

    pa_threaded_mainloop* loop_ = nullptr;
    bool closing_ = false;  // these under the loop's lock
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    pa_usec_t queued_ = kQueued;
};

PulseOutput::~PulseOutput() {
    if (!loop_) return;
    pa_threaded_mainloop_lock(loop_);
    closing_ = true;  // should Connect still be to come
    if (stream_) {
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
    }
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    pa_threaded_mainloop_unlock(loop_);
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
}

bool PulseOutput::Start() {
    if (!ServerMayAnswer()) return false;
    loop_ = pa_threaded_mainloop_new();
    if (loop_ && pa_threaded_mainloop_start(loop_) < 0) {
        pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
    }
    if (!loop_) return false;
    pa_threaded_mainloop_lock(loop_);
    pa_mainloop_api_once(pa_threaded_mainloop_get_api(loop_), Connect, this);
    pa_threaded_mainloop_unlock(loop_);
    return true;
}

void PulseOutput::Connect(pa_mainloop_api* api, void* data) {
    auto* self = static_cast<PulseOutput*>(data);
    if (self->closing_) return;
    self->context_ = pa_context_new(api, "Тонариум");
    if (!self->context_) return self->renderer_->Lost("cannot make a context");
    pa_context_set_state_callback(self->context_, OnContextState, self);
    // No autospawn: a desktop starts its server itself, and tests keep theirs private.
    if (pa_context_connect(self->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        self->Lost();
}

void PulseOutput::Lost() {
    const int error = pa_context_errno(context_);
    renderer_->Lost(error != PA_OK ? pa_strerror(error) : nullptr);
}

void PulseOutput::OnContextState(pa_context* context, void* data) {
    auto* self = static_cast<PulseOutput*>(data);
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY) self->OpenStream();
    if (!PA_CONTEXT_IS_GOOD(state)) self->Lost();
}

void PulseOutput::OpenStream() {
    stream_ = pa_stream_new(context_, "Тонариум", &kFormat, nullptr);
    if (!stream_) return Lost();
    pa_stream_set_state_callback(stream_, OnStreamState, this);
    pa_stream_set_write_callback(stream_, OnWritable, this);
    pa_stream_set_underflow_callback(stream_, OnUnderflow, this);
    const pa_buffer_attr buffer = Buffer(queued_);
    if (pa_stream_connect_playback(stream_, nullptr, &buffer, PA_STREAM_ADJUST_LATENCY, nullptr,
                                   nullptr) < 0)
        Lost();
}

void PulseOutput::QueueMore() {
    pa_threaded_mainloop_lock(loop_);
    if (stream_ && pa_stream_get_state(stream_) == PA_STREAM_READY && queued_ < kMostQueued) {
        queued_ *= 2;
        const pa_buffer_attr buffer = Buffer(queued_);
        if (pa_operation* operation = pa_stream_set_buffer_attr(stream_, &buffer, nullptr, nullptr))
            pa_operation_unref(operation);
    }
    pa_threaded_mainloop_unlock(loop_);
}

void PulseOutput::OnStreamState(pa_stream* stream, void* data) {
    auto* self = static_cast<PulseOutput*>(data);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_READY) self->renderer_->Started();
    if (!PA_STREAM_IS_GOOD(state)) self->Lost();
}

// The server played all it had of the stream before the next write came: a gap in the sound.
// On the loop's thread, which also writes: never allocates, logs or locks, as OnWritable.
void PulseOutput::OnUnderflow(pa_stream*, void* data) noexcept {
    static_cast<PulseOutput*>(data)->renderer_->FellBehind();
}

// The server asks for sound every millisecond and has only a few queued: this must be done well
// within that, so it never allocates, logs or locks (but for the loop's own lock, held around it).
void PulseOutput::OnWritable(pa_stream* stream, std::size_t bytes, void* data) noexcept {
    auto* self = static_cast<PulseOutput*>(data);
    while (bytes >= kFrameBytes) {
        void* samples = nullptr;
        std::size_t room = bytes;
        if (pa_stream_begin_write(stream, &samples, &room) < 0 || !samples) return;
        const std::size_t frames = room / kFrameBytes;
        if (frames == 0) return (void)pa_stream_cancel_write(stream);
        self->renderer_->Render(static_cast<float*>(samples), static_cast<int>(frames));
        pa_stream_write(stream, samples, frames * kFrameBytes, nullptr, 0, PA_SEEK_RELATIVE);
        bytes -= frames * kFrameBytes;
    }
}

void PulseOutput::Activate(bool active) {
    pa_threaded_mainloop_lock(loop_);
    if (stream_ && pa_stream_get_state(stream_) == PA_STREAM_READY)
        if (pa_operation* operation = pa_stream_cork(stream_, active ? 0 : 1, nullptr, nullptr))
            pa_operation_unref(operation);
    pa_threaded_mainloop_unlock(loop_);
}

}  // namespace

std::unique_ptr<Output> OpenPulseOutput(Mixer& mixer) {
    return StartOutput<PulseOutput>(mixer);
}

}  // namespace platform
