#pragma once

#include <AL/alc.h>
#include <AL/alext.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class OpenAlOutput;
class ServerStream;

enum class OutputState { kConnecting, kPlaying, kLost };
// Opens a sound server's stream that renders the mixer: see server_stream.h.
using StreamOpener = std::unique_ptr<ServerStream> (*)(OpenAlOutput& mixer);

// One OpenAL device with its context, mixing with the output limiter on and no effect sends,
// heard through OpenAL's own back-end or through a sound server's stream that renders it.
// The device's extension functions are fetched for this device: OpenAL does not promise that a
// function fetched for one device suits another.
class OpenAlOutput {
  public:
    // The system's default output through OpenAL's back-end; nullptr when none can be opened now.
    static std::unique_ptr<OpenAlOutput> OpenDefault();
    // An offline device that mixes only when Render is called: stereo float at the given rate.
    static std::unique_ptr<OpenAlOutput> OpenLoopback(int sampleRate);
    // A loopback device played by a server's stream, which connects in the background; nullptr
    // when the stream cannot even be started.
    static std::unique_ptr<OpenAlOutput> OpenThrough(StreamOpener openStream);
    ~OpenAlOutput();
    OpenAlOutput(const OpenAlOutput&) = delete;
    OpenAlOutput& operator=(const OpenAlOutput&) = delete;

    void MakeCurrent() const;
    // Lost once its sound server or card has gone away; connecting while a server's stream has
    // not yet started playing.
    OutputState State() const;
    // Pausing stops the mixer, or the server's calls for sound. The bare loopback device has no
    // mixer of its own to stop, and OpenAL 1.19's wave writer loses its place in the file when
    // paused, so neither pauses.
    bool CanPause() const { return stream_ || (pause_ && resume_); }
    void Pause();
    void Resume();
    // Loopback only: mixes the next frames into `samples`, interleaved left/right.
    void Render(float* samples, int frames) {
        if (render_) render_(device_, samples, frames);
    }
    // Sound mixed so far as time, standing still while paused, and the time from a sample being
    // mixed to it being heard; both in nanoseconds, -1 when the device cannot tell.
    std::array<std::int64_t, 2> ClockAndLatency() const;
    int SampleRate() const;
    // The server's name, or OpenAL's name of its device.
    std::string Name() const;

  private:
    OpenAlOutput(ALCdevice* device, ALCcontext* context, bool loopback);
    static std::unique_ptr<OpenAlOutput> WithContext(ALCdevice* device,
                                                     const std::vector<ALCint>& attributes,
                                                     bool loopback);

    ALCdevice* device_;
    ALCcontext* context_;
    LPALCDEVICEPAUSESOFT pause_ = nullptr;
    LPALCDEVICERESUMESOFT resume_ = nullptr;
    LPALCRENDERSAMPLESSOFT render_ = nullptr;
    LPALCGETINTEGER64VSOFT getInteger64_ = nullptr;
    std::unique_ptr<ServerStream> stream_;  // ends before the device closes
};

}  // namespace platform
