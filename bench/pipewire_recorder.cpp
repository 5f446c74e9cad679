// SPDX-License-Identifier: MIT
#include "pipewire_recorder.h"

#include <string>

namespace bench {

namespace {

// Room for the chunks of a quarter of an hour at 64 frames a cycle, so that appending does not
// reallocate on the data thread during a run.
constexpr std::size_t kChunksReserved = 15 * 60 * 48000 / 64;

}  // namespace

PipeWireRecorder::PipeWireRecorder(const testing_support::SoundServer& server, int quantum)
    : HeardSound(false),
      connection_(server.PipeWireRemote(), "monitor recorder"),
      rate_(server.sinkRate()) {
    if (!connection_.connected()) return;
    Reserve(kChunksReserved);
    static const pw_stream_events kEvents = ProcessEvents(OnProcess);
    pw_properties* properties = SinkStreamProperties("Capture", quantum, server.sinkRate());
    pw_properties_set(properties, PW_KEY_STREAM_CAPTURE_SINK, "true");
    std::lock_guard lock(connection_);
    stream_ = pw_stream_new(connection_.core(), "monitor recorder", properties);
    pw_stream_add_listener(stream_, &listener_, &kEvents, this);
    recording_ = connection_.ConnectStereo(stream_, SPA_DIRECTION_INPUT, server.sinkRate());
}

PipeWireRecorder::~PipeWireRecorder() {
    if (!stream_) return;
    std::lock_guard lock(connection_);
    PipeWireConnection::Close(stream_);
}

void PipeWireRecorder::AskQuantum(int quantum) {
    if (!recording_) return;
    const std::string latency = NodeLatency(quantum, rate_);
    const spa_dict_item item = SPA_DICT_ITEM_INIT(PW_KEY_NODE_LATENCY, latency.c_str());
    const spa_dict properties = SPA_DICT_INIT(&item, 1);
    std::lock_guard lock(connection_);
    pw_stream_update_properties(stream_, &properties);
}

void PipeWireRecorder::OnProcess(void* recorder) {
    auto* self = static_cast<PipeWireRecorder*>(recorder);
    const auto arrival = Clock::now();
    while (pw_buffer* buffer = pw_stream_dequeue_buffer(self->stream_)) {
        const spa_data& data = buffer->buffer->datas[0];
        const auto* samples = static_cast<const float*>(
            data.data ? SPA_PTROFF(data.data, data.chunk->offset, void) : nullptr);
        self->Append(samples, data.chunk->size / (2 * sizeof(float)), arrival);
        pw_stream_queue_buffer(self->stream_, buffer);
    }
}

}  // namespace bench
