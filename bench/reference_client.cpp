// SPDX-License-Identifier: MIT
#include "reference_client.h"

#include <cmath>
#include <cstdio>
#include <mutex>
#include <vector>

namespace bench {

using testing_support::PulseConnection;
using testing_support::SoundServer;

std::vector<float> BurstSamples(int rate) {
    std::vector<float> samples;
    for (int frame = 0; frame < rate * 30 / 1000; ++frame) {
        const float value = 0.5f * std::cos(2 * M_PI * 1000.0 * frame / rate);
        samples.insert(samples.end(), {value, value});
    }
    return samples;
}

ReferenceClient::ReferenceClient(const SoundServer& server)
    : connection_(server.PulseServer(), "reference client"),
      burst_(BurstSamples(server.sinkRate())) {
    if (!connection_.connected()) return;
    std::lock_guard lock(connection_);
    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, static_cast<std::uint32_t>(server.sinkRate()),
                                2};
    pa_stream* stream = pa_stream_new(connection_.context(), "reference", &format, nullptr);
    pa_buffer_attr attributes{};
    // The server's default prebuffer: should a busy machine ever starve the stream, it waits
    // for data again instead of running on and dropping what comes late, a burst included.
    attributes.maxlength = attributes.minreq = attributes.prebuf = attributes.fragsize =
        static_cast<std::uint32_t>(-1);
    attributes.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(5000, &format));
    pa_stream_set_write_callback(stream, OnWritable, this);
    const auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
    if (pa_stream_connect_playback(stream, SoundServer::kSinkName, &attributes, flags, nullptr,
                                   nullptr) == 0 &&
        connection_.AwaitReady(stream)) {
        stream_ = stream;
        return;
    }
    PulseConnection::Close(stream);
}

ReferenceClient::~ReferenceClient() {
    if (!stream_) return;
    std::lock_guard lock(connection_);
    PulseConnection::Close(stream_);
}

void ReferenceClient::OnWritable(pa_stream* stream, std::size_t bytes, void*) {
    const std::vector<float> silence(bytes / sizeof(float));
    pa_stream_write(stream, silence.data(), silence.size() * sizeof(float), nullptr, 0,
                    PA_SEEK_RELATIVE);
}

std::chrono::steady_clock::time_point ReferenceClient::Burst() {
    std::lock_guard lock(connection_);
    const auto written = std::chrono::steady_clock::now();
    pa_stream_write(stream_, burst_.data(), burst_.size() * sizeof(float), nullptr, 0,
                    PA_SEEK_RELATIVE);
    return written;
}

std::string ReferenceClient::OtherStreams() {
    struct Listing {
        PulseConnection* connection;
        std::uint32_t ours;
        std::string lines = {};
    } listing{&connection_, pa_stream_get_index(stream_)};
    std::lock_guard lock(connection_);
    connection_.Finish(pa_context_get_sink_input_info_list(
        connection_.context(),
        [](pa_context*, const pa_sink_input_info* info, int last, void* data) {
            auto* listing = static_cast<Listing*>(data);
            if (last) return PulseConnection::Signal(listing->connection);
            if (info->index == listing->ours) return;
            const char* client = pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_NAME);
            char line[200];
            std::snprintf(line, sizeof line, "%s: %u Hz, buffer %.1f ms, sink %.1f ms\n",
                          client ? client : info->name, info->sample_spec.rate,
                          info->buffer_usec / 1e3, info->sink_usec / 1e3);
            listing->lines += line;
        },
        &listing));
    return listing.lines;
}

}  // namespace bench
