#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "platform/pacer.h"
#include "platform/sound/sound_device.h"

namespace platform {

class OpenAlOutput;
class OpenAlVoice;

// A sound device on OpenAL Soft: one AL buffer and source per voice, mixed by OpenAL with its
// output limiter on, so chords never hard-clip.
//
// The mix is heard by the first road that answers, in order: the program's own PipeWire stream,
// its own PulseAudio stream (PipeWire's PulseAudio service answers that too, so PipeWire is asked
// first), then OpenAL's own device (a sound card through ALSA, JACK ...). A server's stream
// connects in the background: the device does not wait for it, and voices played meanwhile are
// heard once it plays.
//
// Mixing in short periods keeps a note's way to the speakers short but wakes the mixer hundreds
// of times a second, silence or not. So once nothing audible has played for a while (a voice of
// pure silence, looping or not, does not count) the output is paused, and the next note resumes
// it before it starts.
//
// The output can go away under the program (its sound server restarts or stalls) or not be there
// yet when the program starts. The device notices on its turns and goes through the roads again
// about once a second, on its turns only, never while a voice starts; each voice keeps its sound
// in memory for that, and a looping voice plays on once the output is back. Notes that were
// sounding when it went are simply gone.
class OpenAlSoundDevice : public SoundDevice {
  public:
    using Clock = std::chrono::steady_clock;
    using Opener = std::function<std::unique_ptr<OpenAlOutput>()>;
    // The roads, for `--sound`: any means the first that answers.
    enum class Road { kAny, kPipeWire, kPulse, kOpenAl };
    static constexpr std::chrono::milliseconds kSilenceBeforePause{10000};
    struct Timing {
        std::chrono::milliseconds silenceBeforePause = kSilenceBeforePause;
        // How often the output is asked whether it is still there.
        std::chrono::milliseconds connectionCheck{250};
        // How often the roads are tried again while there is no output.
        std::chrono::milliseconds retry{1000};
        // How long a server may take to start playing a new stream before the next road is tried.
        std::chrono::milliseconds connect{2000};
    };

    // The system's output by the given road or roads. Never nullptr: without any output the device
    // plays nothing and keeps trying.
    static std::unique_ptr<OpenAlSoundDevice> OpenDefault(Road road = Road::kAny) {
        return std::make_unique<OpenAlSoundDevice>(Roads(road), Timing{});
    }
    static std::vector<Opener> Roads(Road road);
    // Opens nothing yet: its first turn starts on the first road, so that a program's window need
    // not wait for the output (voices made before keep their sounds until then).
    OpenAlSoundDevice(std::vector<Opener> roads, Timing timing);
    OpenAlSoundDevice(Opener open, Timing timing)
        : OpenAlSoundDevice(std::vector<Opener>{std::move(open)}, timing) {}
    ~OpenAlSoundDevice() override;

    std::unique_ptr<SoundVoice> CreateVoice(const PcmSound& sound) override;
    // Notices a lost output and tries the roads again when due, and pauses the output in silence.
    void Service() override;

  protected:
    OpenAlOutput* Output() const { return output_.get(); }  // nullptr while there is none
    bool Paused() const { return paused_; }
    // Whether the output still plays or connects; a test stands in a lost one here.
    virtual bool OutputConnected() const;

  private:
    friend class OpenAlVoice;
    // Before a voice starts: resumes a paused output and puts the pause off again.
    void Wake();
    void PauseUnlessAudible(Clock::time_point now);
    void LoseOutput();
    // Takes every voice off the output and closes it.
    void DropOutput();
    // Opens the roads from `first` on until one gives an output, with every voice on it.
    void TryRoads(std::size_t first, Clock::time_point now);
    // Once the output plays: tells the user when it comes after a silence.
    void Opened(Clock::time_point now);

    std::vector<Opener> roads_;
    Timing timing_;
    std::unique_ptr<OpenAlOutput> output_;
    std::size_t road_ = 0;     // the output's road
    bool connecting_ = false;  // the output has not played yet
    Clock::time_point connectDue_;
    int unrestored_ = 0;                // voices that could not be put on the output
    bool toldSilent_ = false;           // the user was told that there is no sound
    std::vector<OpenAlVoice*> voices_;  // every voice alive on the device
    bool paused_ = false;
    Clock::time_point pauseDue_;
    Pacer check_;
    Pacer retry_;
};

}  // namespace platform
