// SPDX-License-Identifier: MIT
#include "pipewire_connection.h"

#include <mutex>
#include <string>

#include "sound_server.h"

namespace bench {

PipeWireConnection::PipeWireConnection(const std::string& remote, const char* clientName) {
    pw_init(nullptr, nullptr);
    loop_ = pw_thread_loop_new(clientName, nullptr);
    context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
    if (!context_ || pw_thread_loop_start(loop_) < 0) return;
    std::lock_guard lock(*this);
    core_ = pw_context_connect(
        context_,
        pw_properties_new(PW_KEY_REMOTE_NAME, remote.c_str(), PW_KEY_APP_NAME, clientName, nullptr),
        0);
}

PipeWireConnection::~PipeWireConnection() {
    if (core_) {
        std::lock_guard lock(*this);
        pw_core_disconnect(core_);
    }
    pw_thread_loop_stop(loop_);
    if (context_) pw_context_destroy(context_);
    pw_thread_loop_destroy(loop_);
}

bool PipeWireConnection::ConnectStereo(pw_stream* stream, spa_direction direction, int rate) {
    spa_audio_info_raw format{};
    format.format = SPA_AUDIO_FORMAT_F32;
    format.rate = static_cast<std::uint32_t>(rate);
    format.channels = 2;
    format.position[0] = SPA_AUDIO_CHANNEL_FL;
    format.position[1] = SPA_AUDIO_CHANNEL_FR;
    std::uint8_t space[512];
    spa_pod_builder builder;
    spa_pod_builder_init(&builder, space, sizeof space);
    const spa_pod* params[] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &format)};

    // A listener of our own beside the owner's, for the state alone.
    static const pw_stream_events kStateEvents = [] {
        pw_stream_events events{};
        events.version = PW_VERSION_STREAM_EVENTS;
        events.state_changed = [](void* loop, pw_stream_state, pw_stream_state, const char*) {
            pw_thread_loop_signal(static_cast<pw_thread_loop*>(loop), false);
        };
        return events;
    }();
    spa_hook listener{};
    pw_stream_add_listener(stream, &listener, &kStateEvents, loop_);
    const auto flags = static_cast<pw_stream_flags>(
        PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS);
    bool streaming = false;
    if (pw_stream_connect(stream, direction, PW_ID_ANY, flags, params, 1) == 0) {
        timespec deadline{};
        pw_thread_loop_get_time(loop_, &deadline, 5 * SPA_NSEC_PER_SEC);
        for (;;) {
            const pw_stream_state state = pw_stream_get_state(stream, nullptr);
            streaming = state == PW_STREAM_STATE_STREAMING;
            if (streaming || state == PW_STREAM_STATE_ERROR ||
                pw_thread_loop_timed_wait_full(loop_, &deadline) != 0)
                break;
        }
    }
    spa_hook_remove(&listener);
    return streaming;
}

std::string NodeLatency(int quantum, int rate) {
    return std::to_string(quantum) + "/" + std::to_string(rate);
}

pw_properties* SinkStreamProperties(const char* category, int quantum, int rate) {
    const std::string latency = NodeLatency(quantum, rate);
    return pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, category,
                             PW_KEY_NODE_LATENCY, latency.c_str(), PW_KEY_TARGET_OBJECT,
                             testing_support::SoundServer::kSinkName, nullptr);
}

pw_stream_events ProcessEvents(void (*process)(void* data)) {
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.process = process;
    return events;
}

void PipeWireConnection::Close(pw_stream* stream) {
    pw_stream_disconnect(stream);
    pw_stream_destroy(stream);
}

}  // namespace bench
