// SPDX-License-Identifier: MIT
#include "pipewire_reference_client.h"

#include <algorithm>

#include "reference_client.h"

namespace bench {

PipeWireReferenceClient::PipeWireReferenceClient(const testing_support::SoundServer& server,
                                                 int quantum)
    : connection_(server.PipeWireRemote(), "native reference client"),
      burst_(BurstSamples(server.sinkRate())),
      burstWritten_(burst_.size()) {
    if (!connection_.connected()) return;
    static const pw_stream_events kEvents = ProcessEvents(OnProcess);
    std::lock_guard lock(connection_);
    stream_ = pw_stream_new(connection_.core(), "native reference",
                            SinkStreamProperties("Playback", quantum, server.sinkRate()));
    pw_stream_add_listener(stream_, &listener_, &kEvents, this);
    ready_ = connection_.ConnectStereo(stream_, SPA_DIRECTION_OUTPUT, server.sinkRate());
}

PipeWireReferenceClient::~PipeWireReferenceClient() {
    if (!stream_) return;
    std::lock_guard lock(connection_);
    PipeWireConnection::Close(stream_);
}

std::chrono::steady_clock::time_point PipeWireReferenceClient::Burst() {
    const auto asked = std::chrono::steady_clock::now();
    burstAsked_ = true;
    return asked;
}

void PipeWireReferenceClient::OnProcess(void* client) {
    auto* self = static_cast<PipeWireReferenceClient*>(client);
    pw_buffer* buffer = pw_stream_dequeue_buffer(self->stream_);
    if (!buffer) return;
    spa_data& data = buffer->buffer->datas[0];
    constexpr std::uint32_t kStride = 2 * sizeof(float);
    std::uint32_t frames = data.data ? data.maxsize / kStride : 0;
    if (buffer->requested) frames = std::min<std::uint32_t>(frames, buffer->requested);
    if (self->burstAsked_.exchange(false)) self->burstWritten_ = 0;
    auto* samples = static_cast<float*>(data.data);
    const std::size_t fromBurst =
        std::min<std::size_t>(2 * frames, self->burst_.size() - self->burstWritten_);
    std::copy_n(self->burst_.begin() + self->burstWritten_, fromBurst, samples);
    std::fill(samples + fromBurst, samples + 2 * frames, 0.0f);
    self->burstWritten_ += fromBurst;
    data.chunk->offset = 0;
    data.chunk->stride = kStride;
    data.chunk->size = frames * kStride;
    pw_stream_queue_buffer(self->stream_, buffer);
}

}  // namespace bench
