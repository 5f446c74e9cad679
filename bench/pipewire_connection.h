// SPDX-License-Identifier: MIT
#pragma once

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>

#include <string>

namespace bench {

// A connection to a PipeWire server on a thread loop of its own. lock() and unlock() take the
// loop's lock (std::lock_guard works); hold it while making, connecting or closing streams.
class PipeWireConnection {
  public:
    // `remote` is the server's socket.
    PipeWireConnection(const std::string& remote, const char* clientName);
    ~PipeWireConnection();
    PipeWireConnection(const PipeWireConnection&) = delete;
    PipeWireConnection& operator=(const PipeWireConnection&) = delete;

    bool connected() const { return core_ != nullptr; }
    pw_core* core() const { return core_; }
    void lock() { pw_thread_loop_lock(loop_); }
    void unlock() { pw_thread_loop_unlock(loop_); }

    // Under the lock: connects a stream made on core() for 32-bit float stereo at `rate`, its
    // process callback run on the data thread, and waits up to 5 s for it to stream; false when
    // it did not.
    bool ConnectStereo(pw_stream* stream, spa_direction direction, int rate);
    // Under the lock: ends the stream; its callbacks have run for the last time when it returns.
    static void Close(pw_stream* stream);

  private:
    pw_thread_loop* loop_;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
};

// node.latency for `quantum` frames at `rate`: "256/48000".
std::string NodeLatency(int quantum, int rate);

// Properties of a stream on the null sink: audio of `category` ("Playback", "Capture") asking
// the graph for `quantum` frames a cycle at `rate`.
pw_properties* SinkStreamProperties(const char* category, int quantum, int rate);

// Stream events with the process callback alone.
pw_stream_events ProcessEvents(void (*process)(void* data));

}  // namespace bench
