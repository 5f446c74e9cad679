#include "platform/sound/openal_sound_device.h"

#include <AL/al.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "platform/messages.h"
#include "platform/sound/openal_output.h"

namespace platform {

namespace {

// OpenAL pans a centred mono source at about -4.5 dB per channel; the samples are meant to be
// heard at full level on both. This gain puts it back.
constexpr float kMonoCentreGain = 1.6788f;  // +4.5 dB

bool IsSilent(const PcmSound& sound) {
    const std::uint8_t zero = sound.bitsPerSample == 8 ? 0x80 : 0x00;
    return std::all_of(sound.bytes.begin(), sound.bytes.end(),
                       [zero](std::uint8_t byte) { return byte == zero; });
}

ALenum AlFormat(const PcmSound& sound) {
    if (sound.channels == 1) return sound.bitsPerSample == 8 ? AL_FORMAT_MONO8 : AL_FORMAT_MONO16;
    return sound.bitsPerSample == 8 ? AL_FORMAT_STEREO8 : AL_FORMAT_STEREO16;
}

}  // namespace

// A voice keeps its sound, so that it can make its buffer again on a new output. Without an
// output it only remembers whether it loops, and whether it was played while no output played.
class OpenAlVoice : public SoundVoice {
  public:
    OpenAlVoice(OpenAlSoundDevice& device, const PcmSound& sound)
        : device_(device), sound_(sound), silent_(IsSilent(sound)) {
        if (device_.output_ && !Attach())
            throw std::runtime_error("OpenAL could not hold the sound");
        device_.voices_.push_back(this);
    }
    ~OpenAlVoice() override {
        Detach();
        std::erase(device_.voices_, this);
    }

    void Rewind() override {
        if (!source_) return;
        device_.output_->MakeCurrent();
        // Playing a playing source starts it over, which is what a rewind while sounding means.
        if (Playing())
            alSourcePlay(source_);
        else
            alSourceRewind(source_);
    }

    void Play(bool looping) override {
        looping_ = looping;
        waiting_ = !device_.output_ || device_.connecting_;
        // The voice starts before a paused output resumes, so that the first period mixed after
        // the pause already holds it.
        Start();
        device_.Wake();
    }

    bool Audible() const { return !silent_ && source_ && Playing(); }
    // Once an output plays, or none will for now: a note that waited for it is not played later.
    void StopWaiting() { waiting_ = false; }

    // Makes the buffer and source on the device's output; a looping voice plays on.
    bool Attach() {
        device_.output_->MakeCurrent();
        alGetError();
        alGenBuffers(1, &buffer_);
        alBufferData(buffer_, AlFormat(sound_), sound_.bytes.data(),
                     static_cast<ALsizei>(sound_.bytes.size()), sound_.sampleRate);
        alGenSources(1, &source_);
        alSourcei(source_, AL_SOURCE_RELATIVE, AL_TRUE);
        alSourcef(source_, AL_ROLLOFF_FACTOR, 0.0f);
        if (sound_.channels == 1) {
            alSourcef(source_, AL_MAX_GAIN, kMonoCentreGain);
            alSourcef(source_, AL_GAIN, kMonoCentreGain);
        }
        alSourcei(source_, AL_BUFFER, static_cast<ALint>(buffer_));
        alSourcei(source_, AL_LOOPING, looping_ ? AL_TRUE : AL_FALSE);
        if (looping_ || waiting_) alSourcePlay(source_);
        if (alGetError() == AL_NO_ERROR) return true;
        Detach();
        return false;
    }

    // Gives the buffer and source back, before their output closes.
    void Detach() {
        if (!device_.output_) return;
        device_.output_->MakeCurrent();
        if (source_) {
            alSourceStop(source_);
            alDeleteSources(1, &source_);
        }
        if (buffer_) alDeleteBuffers(1, &buffer_);
        source_ = buffer_ = 0;
    }

  private:
    void Start() {
        if (!source_) return;
        device_.output_->MakeCurrent();
        alSourcei(source_, AL_LOOPING, looping_ ? AL_TRUE : AL_FALSE);
        if (!Playing()) alSourcePlay(source_);
    }

    bool Playing() const {
        ALint state = AL_INITIAL;
        alGetSourcei(source_, AL_SOURCE_STATE, &state);
        return state == AL_PLAYING;
    }

    OpenAlSoundDevice& device_;
    const PcmSound sound_;
    const bool silent_;
    bool looping_ = false;  // a looping voice sounds for as long as it lives
    bool waiting_ = false;  // played while the output connected: starts on the next road too
    ALuint buffer_ = 0;
    ALuint source_ = 0;
};

OpenAlSoundDevice::OpenAlSoundDevice(std::vector<Opener> roads, Timing timing)
    : roads_(std::move(roads)),
      timing_(timing),
      check_(timing.connectionCheck),
      retry_(timing.retry) {
    pauseDue_ = Clock::now() + timing_.silenceBeforePause;
}

OpenAlSoundDevice::~OpenAlSoundDevice() = default;

std::unique_ptr<SoundVoice> OpenAlSoundDevice::CreateVoice(const PcmSound& sound) {
    return std::make_unique<OpenAlVoice>(*this, sound);
}

void OpenAlSoundDevice::Service() {
    const Clock::time_point now = Clock::now();
    if (output_ && connecting_) {
        if (!OutputConnected() || now >= connectDue_) {
            DropOutput();
            TryRoads(road_ + 1, now);
        } else if (output_->State() == OutputState::kPlaying) {
            Opened(now);
        }
    } else if (output_ && check_.Due(now) && !OutputConnected()) {
        LoseOutput();
    }
    if (!output_ && retry_.Due(now)) TryRoads(0, now);
    if (output_ && !connecting_ && !paused_ && output_->CanPause() && now >= pauseDue_)
        PauseUnlessAudible(now);
}

bool OpenAlSoundDevice::OutputConnected() const {
    return output_->State() != OutputState::kLost;
}

void OpenAlSoundDevice::Wake() {
    if (paused_) {
        output_->Resume();
        paused_ = false;
    }
    pauseDue_ = Clock::now() + timing_.silenceBeforePause;
}

void OpenAlSoundDevice::PauseUnlessAudible(Clock::time_point now) {
    output_->MakeCurrent();
    if (std::any_of(voices_.begin(), voices_.end(),
                    [](const OpenAlVoice* voice) { return voice->Audible(); })) {
        pauseDue_ = now + timing_.silenceBeforePause;
        return;
    }
    output_->Pause();
    paused_ = true;
}

void OpenAlSoundDevice::LoseOutput() {
    Say("the sound output is lost; trying to open it again every second");
    toldSilent_ = true;
    DropOutput();
    retry_.Reset();  // at once: a restarted server may already be back
}

void OpenAlSoundDevice::DropOutput() {
    for (OpenAlVoice* voice : voices_) voice->Detach();
    output_.reset();
    paused_ = connecting_ = false;
}

void OpenAlSoundDevice::TryRoads(std::size_t first, Clock::time_point now) {
    for (road_ = first; road_ < roads_.size(); ++road_) {
        output_ = roads_[road_]();
        if (!output_) continue;
        unrestored_ = 0;
        for (OpenAlVoice* voice : voices_) unrestored_ += !voice->Attach();
        connecting_ = true;
        connectDue_ = now + timing_.connect;
        if (output_->State() == OutputState::kPlaying) Opened(now);
        return;
    }
    for (OpenAlVoice* voice : voices_) voice->StopWaiting();
    if (!toldSilent_) Say("no sound output can be opened; trying again every second");
    toldSilent_ = true;
}

void OpenAlSoundDevice::Opened(Clock::time_point now) {
    connecting_ = false;
    for (OpenAlVoice* voice : voices_) voice->StopWaiting();
    if (unrestored_ > 0)
        Say("the sound output " + output_->Name() + " is open, but " + std::to_string(unrestored_) +
            " of the sounds could not be put on it");
    else if (toldSilent_)
        Say("the sound is back, on " + output_->Name());
    toldSilent_ = false;
    pauseDue_ = now + timing_.silenceBeforePause;
    check_.Restart(now);
}

}  // namespace platform
