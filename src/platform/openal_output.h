#pragma once

#include <AL/alc.h>
#include <AL/alext.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// One OpenAL device with its context, mixing with the output limiter on and no effect sends.
// The device's extension functions are fetched for this device: OpenAL does not promise that a
// function fetched for one device suits another.
class OpenAlOutput {
  public:
    // The system's default output; nullptr when none can be opened now.
    static std::unique_ptr<OpenAlOutput> OpenDefault();
    // An offline device that mixes only when Render is called: stereo float at the given rate.
    static std::unique_ptr<OpenAlOutput> OpenLoopback(int sampleRate);
    ~OpenAlOutput();
    OpenAlOutput(const OpenAlOutput&) = delete;
    OpenAlOutput& operator=(const OpenAlOutput&) = delete;

    void MakeCurrent() const;
    // False once the device is lost: its sound server or card has gone away.
    bool Connected() const;
    // Pausing stops the mixer. The loopback device has no mixer of its own to stop, and OpenAL
    // 1.19's wave writer loses its place in the file when paused, so neither pauses.
    bool CanPause() const { return pause_ && resume_; }
    void Pause();
    void Resume();
    // Loopback only: mixes the next frames into `samples`, interleaved left/right.
    void Render(float* samples, int frames);
    // Sound mixed so far as time, standing still while paused, and the time from a sample being
    // mixed to it being heard; both in nanoseconds, -1 when the device cannot tell.
    std::array<std::int64_t, 2> ClockAndLatency() const;
    int SampleRate() const;
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
};

}  // namespace platform
