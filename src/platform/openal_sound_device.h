#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "platform/pacer.h"
#include "platform/sound_device.h"

namespace platform {

class OpenAlOutput;
class OpenAlVoice;

// A sound device on OpenAL Soft: one AL buffer and source per voice, mixed by OpenAL with its
// output limiter on, so chords never hard-clip.
//
// Mixing in short periods keeps a note's way to the speakers short but wakes the mixer hundreds
// of times a second, silence or not. So once nothing audible has played for a while (a voice of
// pure silence, looping or not, does not count) the output is paused, and the next note resumes
// it before it starts.
//
// The output can go away under the program (its sound server restarts) or not be there yet when
// the program starts. The device notices on its turns and opens the output again about once a
// second; each voice keeps its sound in memory for that, and a looping voice plays on once the
// output is back. Notes that were sounding when it went are simply gone.
class OpenAlSoundDevice : public SoundDevice {
  public:
    using Clock = std::chrono::steady_clock;
    using Opener = std::function<std::unique_ptr<OpenAlOutput>()>;
    static constexpr std::chrono::milliseconds kSilenceBeforePause{10000};
    struct Timing {
        std::chrono::milliseconds silenceBeforePause = kSilenceBeforePause;
        // How often the output is asked whether it is still there.
        std::chrono::milliseconds connectionCheck{250};
        // How often a missing output is tried again.
        std::chrono::milliseconds retry{1000};
    };

    // The system's default output. Never nullptr: without any output the device plays nothing
    // and keeps trying.
    static std::unique_ptr<OpenAlSoundDevice> OpenDefault();
    OpenAlSoundDevice(Opener open, Timing timing);
    ~OpenAlSoundDevice() override;

    std::unique_ptr<SoundVoice> CreateVoice(const PcmSound& sound) override;
    // Notices a lost output and opens it again when due, and pauses the output in silence.
    void Service() override;

  protected:
    OpenAlOutput* Output() const { return output_.get(); }  // nullptr while there is none
    bool Paused() const { return paused_; }
    // Whether the output still plays; a test stands in a lost one here.
    virtual bool OutputConnected() const;

  private:
    friend class OpenAlVoice;
    // Before a voice starts: resumes a paused output and puts the pause off again.
    void Wake();
    void PauseUnlessAudible(Clock::time_point now);
    void LoseOutput();
    void Reopen();

    Opener open_;
    Timing timing_;
    std::unique_ptr<OpenAlOutput> output_;
    std::vector<OpenAlVoice*> voices_;  // every voice alive on the device
    bool paused_ = false;
    Clock::time_point pauseDue_;
    Pacer check_;
    Pacer retry_;
};

}  // namespace platform
