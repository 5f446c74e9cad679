// SPDX-License-Identifier: MIT
#pragma once

#include <pulse/pulseaudio.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "wav_fixtures.h"

namespace testing_support {

// A libpulse context on a main loop thread of its own. lock() and unlock() take the loop's lock
// (std::lock_guard works); hold it while using context() or streams made on it. The thread runs
// at real-time priority where the process may raise it, as the servers run theirs, so that what
// it times and writes holds up on a busy machine.
class PulseConnection {
  public:
    PulseConnection(const std::string& server, const char* clientName);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    bool connected() const { return connected_; }
    pa_context* context() const { return context_; }
    pa_threaded_mainloop* loop() const { return loop_; }
    void lock() { pa_threaded_mainloop_lock(loop_); }
    void unlock() { pa_threaded_mainloop_unlock(loop_); }
    // Under the lock: waits until the operation is done, then releases it. Its callback must
    // call Signal with this connection as user data.
    void Finish(pa_operation* operation);
    // Under the lock, after connecting the stream: waits until it is ready; false when it failed.
    bool AwaitReady(pa_stream* stream);
    // Under the lock: ends the stream, its callbacks first, and releases it.
    static void Close(pa_stream* stream);
    static void Signal(void* connection);

  private:
    pa_threaded_mainloop* loop_;
    pa_context* context_ = nullptr;
    bool connected_ = false;
};

// A sound server of our own: PulseAudio, or PipeWire with its pulse service and session manager
// under a D-Bus session of their own. It lives in a private runtime folder, touches nothing else
// on the machine, and plays into a null sink (48 kHz unless asked otherwise) made the default
// output. Its processes form
// one process group, which Stop and Kill end; Start brings up a new server at the same address,
// so clients started with Export's environment find it again.
class SoundServer {
  public:
    enum class Kind { kPulseAudio, kPipeWire };
    static constexpr const char* kSinkName = "test_sink";

    // Starts it: see running() and error().
    explicit SoundServer(Kind kind = Kind::kPulseAudio, int sinkRate = 48000);
    ~SoundServer();
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    // False, with error() saying why, when the server did not come up within 10 s.
    bool Start();
    void Stop();  // SIGTERM to the group, SIGKILL for what is left after 5 s
    void Kill();  // SIGKILL, as a crash would end it
    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }  // the group leader
    const std::string& error() const { return error_; }
    const char* Name() const { return kind_ == Kind::kPulseAudio ? "PulseAudio" : "PipeWire"; }
    int sinkRate() const { return sinkRate_; }
    // The programs it runs.
    std::vector<std::string> Programs() const;

    // The address for PULSE_SERVER.
    std::string PulseServer() const;
    // The PipeWire socket, for the remote.name of a native client; PipeWire only.
    std::string PipeWireRemote() const;
    // Sets PULSE_SERVER and XDG_RUNTIME_DIR in this process, for the clients it starts next.
    void Export() const;

  private:
    void Launch();
    bool SetUpSink(PulseConnection& connection);
    void EndGroup(int signal);

    Kind kind_;
    int sinkRate_;
    TempDir dir_;
    pid_t pid_ = -1;
    std::string error_;
};

// When each chunk of a recording of a sink's monitor arrived, and its loudest frame. A frame
// counts as heard when the chunk holding it arrives: the server hands its monitor each piece of
// sound as it takes it for playing. (Frame counts alone would not do: to play a stream's new data
// at once the server rewrites sound it had already rendered, and the monitor then repeats a
// stretch.) Recorders append from their own threads.
class HeardSound {
  public:
    using Clock = std::chrono::steady_clock;

    // When the first frame louder than `threshold` (of full scale, either channel) in a chunk
    // that arrived after `since` was heard, looking up to `until`; nullopt when there is none.
    std::optional<Clock::time_point> FirstSoundAfter(Clock::time_point since,
                                                     Clock::time_point until,
                                                     float threshold = 0.05f) const;
    // Waits until such a frame has been recorded, at most `timeout`.
    std::optional<Clock::time_point> WaitForSound(Clock::time_point since,
                                                  std::chrono::milliseconds timeout,
                                                  float threshold = 0.05f) const;
    // The frames of the chunks that arrived between the two moments, smallest and largest: a
    // recorder that the server calls once a cycle gets the graph's quantum. {0, 0} when none.
    std::pair<long, long> ChunkFrames(Clock::time_point since, Clock::time_point until) const;
    // The left channel from the start of the chunk that arrived at `heard` (as FirstSoundAfter
    // gives it), up to `frames` frames: fewer when the recording ends sooner, none when the
    // recorder keeps no samples.
    std::vector<float> LeftChannel(Clock::time_point heard, std::size_t frames) const;

  protected:
    // A recorder for long runs keeps only each chunk's peak and length.
    explicit HeardSound(bool keepsSamples) : keepsSamples_(keepsSamples) {}
    // Interleaved stereo; null for a hole in the stream, which is silence.
    void Append(const float* samples, std::size_t frames, Clock::time_point arrival);
    void Reserve(std::size_t chunks);

  private:
    struct Chunk {
        Clock::time_point arrival;
        float peak;
        long frames;
        std::size_t endSample;  // in left_
    };

    const bool keepsSamples_;
    mutable std::mutex mutex_;
    std::vector<Chunk> chunks_;
    std::vector<float> left_;
};

// Records the monitor of a server's sink at the sink's rate through its PulseAudio protocol, from
// construction on, in chunks of about a millisecond.
class MonitorRecorder : public HeardSound {
  public:
    explicit MonitorRecorder(const SoundServer& server);
    ~MonitorRecorder();
    bool recording() const { return stream_ != nullptr; }
    // The holes in what the server handed over, each kept as silence: what the recording lost of
    // the monitor's sound, as far as a PulseAudio client can know. (libpulse 16 tells overflows
    // only to playback streams: stream.c, pa_command_overflow_or_underflow.)
    int Overruns() const { return overruns_.load(); }

  private:
    static void OnRead(pa_stream* stream, std::size_t bytes, void* recorder);

    PulseConnection connection_;
    pa_stream* stream_ = nullptr;
    std::atomic<int> overruns_{0};
};

}  // namespace testing_support
