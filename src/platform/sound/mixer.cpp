// SPDX-License-Identifier: MIT
#include "platform/sound/mixer.h"

#include <AL/al.h>
#include <AL/alext.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/messages.h"

namespace platform {

namespace {

// OpenAL pans a centred mono source at about -4.5 dB per channel; the samples are meant to be
// heard at full level on both. This gain puts it back.
constexpr float kMonoCentreGain = 1.6788f;  // +4.5 dB
// How long a hand-over through the old owner's render may take before the new owner just takes
// the mixer: a few periods of any output.
constexpr auto kHandOverLimit = std::chrono::milliseconds(100);

bool IsSilent(const PcmSound& sound) {
    const std::uint8_t zero = sound.bitsPerSample == 8 ? 0x80 : 0x00;
    return std::all_of(sound.bytes.begin(), sound.bytes.end(),
                       [zero](std::uint8_t byte) { return byte == zero; });
}

ALenum AlFormat(const PcmSound& sound) {
    if (sound.channels == 1) return sound.bitsPerSample == 8 ? AL_FORMAT_MONO8 : AL_FORMAT_MONO16;
    return sound.bitsPerSample == 8 ? AL_FORMAT_STEREO8 : AL_FORMAT_STEREO16;
}

template <typename Function>
Function AlcExtension(ALCdevice* device, const char* extension, const char* name) {
    if (!alcIsExtensionPresent(device, extension)) return nullptr;
    return reinterpret_cast<Function>(alcGetProcAddress(device, name));
}

// Scales the block by a straight ramp from `from` to `to`, interleaved stereo.
void Ramp(float* samples, int frames, float from, float to) {
    for (int frame = 0; frame < frames; ++frame) {
        const float gain = from + (to - from) * (frame + 1) / frames;
        samples[2 * frame] *= gain;
        samples[2 * frame + 1] *= gain;
    }
}

// OpenAL's error codes by their names, as its headers spell them; AL's and ALC's share values.
struct ErrorName {
    int code;
    const char* name;
};
constexpr ErrorName kAlErrors[] = {{AL_INVALID_NAME, "AL_INVALID_NAME"},
                                   {AL_INVALID_ENUM, "AL_INVALID_ENUM"},
                                   {AL_INVALID_VALUE, "AL_INVALID_VALUE"},
                                   {AL_INVALID_OPERATION, "AL_INVALID_OPERATION"},
                                   {AL_OUT_OF_MEMORY, "AL_OUT_OF_MEMORY"}};
constexpr ErrorName kAlcErrors[] = {{ALC_INVALID_DEVICE, "ALC_INVALID_DEVICE"},
                                    {ALC_INVALID_CONTEXT, "ALC_INVALID_CONTEXT"},
                                    {ALC_INVALID_ENUM, "ALC_INVALID_ENUM"},
                                    {ALC_INVALID_VALUE, "ALC_INVALID_VALUE"},
                                    {ALC_OUT_OF_MEMORY, "ALC_OUT_OF_MEMORY"}};

template <std::size_t N>
std::string NameOf(int code, const ErrorName (&names)[N]) {
    for (const ErrorName& named : names)
        if (named.code == code) return named.name;
    return "error " + std::to_string(code);
}

}  // namespace

// One AL buffer holds the sound, one source plays it; the voice keeps no copy of its own.
class MixerVoice : public SoundVoice {
  public:
    MixerVoice(Mixer& mixer, const PcmSound& sound)
        : mixer_(mixer),
          silent_(IsSilent(sound)),
          length_(std::chrono::duration_cast<Mixer::Clock::duration>(std::chrono::duration<double>(
              static_cast<double>(sound.frames()) / sound.sampleRate))) {
        mixer_.MakeCurrent();
        alGetError();
        alGenBuffers(1, &buffer_);
        alBufferData(buffer_, AlFormat(sound), sound.bytes.data(),
                     static_cast<ALsizei>(sound.bytes.size()), sound.sampleRate);
        alGenSources(1, &source_);
        alSourcei(source_, AL_SOURCE_RELATIVE, AL_TRUE);
        alSourcef(source_, AL_ROLLOFF_FACTOR, 0.0f);
        if (sound.channels == 1) {
            alSourcef(source_, AL_MAX_GAIN, kMonoCentreGain);
            alSourcef(source_, AL_GAIN, kMonoCentreGain);
        }
        alSourcei(source_, AL_BUFFER, static_cast<ALint>(buffer_));
        if (const ALenum error = alGetError(); error != AL_NO_ERROR) {
            Free();
            throw std::runtime_error(std::string("OpenAL could not hold the sound: ") +
                                     NameOf(error, kAlErrors));
        }
        mixer_.voices_.push_back(this);
    }
    ~MixerVoice() override {
        std::erase(mixer_.voices_, this);
        if (loopCounted_) mixer_.audibleLoops_.fetch_sub(1);
        Free();
    }

    void Rewind() override {
        mixer_.MakeCurrent();
        // Playing a playing source starts it over, which is what a rewind while sounding means.
        if (Playing())
            alSourcePlay(source_);
        else
            alSourceRewind(source_);
    }

    void Play(bool looping) override {
        mixer_.MakeCurrent();
        alSourcei(source_, AL_LOOPING, looping ? AL_TRUE : AL_FALSE);
        if (!Playing()) alSourcePlay(source_);
        mixer_.Played(*this, looping);
    }

    // Drops a note that waited too long for its first period; false once it is past waiting.
    // Whether it was dropped now.
    bool DropIfLate(Mixer::Clock::time_point now, Mixer::Clock::time_point lastRender) {
        if (!waiting_) return false;
        if (lastRender >= playedAt_) {
            waiting_ = false;
            return false;
        }
        if (now - playedAt_ < Mixer::kLateLimit) return false;
        mixer_.MakeCurrent();
        alSourceStop(source_);
        alSourceRewind(source_);
        waiting_ = false;
        return true;
    }

  private:
    friend class Mixer;

    bool Playing() const {
        ALint state = AL_INITIAL;
        alGetSourcei(source_, AL_SOURCE_STATE, &state);
        return state == AL_PLAYING;
    }
    void Free() {
        mixer_.MakeCurrent();
        if (source_) {
            alSourceStop(source_);
            alDeleteSources(1, &source_);
        }
        if (buffer_) alDeleteBuffers(1, &buffer_);
    }

    Mixer& mixer_;
    const bool silent_;
    const Mixer::Clock::duration length_;
    bool loopCounted_ = false;  // an audible loop, counted in the mixer's audibleLoops_
    bool waiting_ = false;      // a note not yet rendered
    Mixer::Clock::time_point playedAt_;
    ALuint buffer_ = 0;
    ALuint source_ = 0;
};

std::unique_ptr<Mixer> Mixer::Open(int sampleRate, Now now) {
    auto openLoopback = AlcExtension<LPALCLOOPBACKOPENDEVICESOFT>(nullptr, "ALC_SOFT_loopback",
                                                                  "alcLoopbackOpenDeviceSOFT");
    if (!openLoopback) {
        Say("OpenAL has no loopback device (ALC_SOFT_loopback): no sound");
        return nullptr;
    }
    ALCdevice* device = openLoopback(nullptr);
    if (!device) {
        Say(std::string("OpenAL cannot open a loopback device: ") +
            NameOf(alcGetError(nullptr), kAlcErrors));
        return nullptr;
    }
    // No effect sends (each costs mixing state in all of OpenAL's voices), no HRTF, and OpenAL's
    // output limiter off: Limiter does its work for a fraction of its cost.
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT,
                                 ALC_STEREO_SOFT,
                                 ALC_FORMAT_TYPE_SOFT,
                                 ALC_FLOAT_SOFT,
                                 ALC_FREQUENCY,
                                 sampleRate,
                                 ALC_HRTF_SOFT,
                                 ALC_FALSE,
                                 ALC_MAX_AUXILIARY_SENDS,
                                 0,
                                 ALC_OUTPUT_LIMITER_SOFT,
                                 ALC_FALSE,
                                 0};
    ALCcontext* context = alcCreateContext(device, attributes);
    if (!context) {
        Say(std::string("OpenAL cannot mix at ") + std::to_string(sampleRate) +
            " Hz: " + NameOf(alcGetError(device), kAlcErrors));
        alcCloseDevice(device);
        return nullptr;
    }
    return std::unique_ptr<Mixer>(new Mixer(device, context, std::move(now)));
}

Mixer::Mixer(ALCdevice* device, ALCcontext* context, Now now)
    : device_(device), context_(context), now_(std::move(now)), opened_(now_()) {
    render_ = reinterpret_cast<void (*)(ALCdevice*, void*, int)>(
        AlcExtension<LPALCRENDERSAMPLESSOFT>(nullptr, "ALC_SOFT_loopback", "alcRenderSamplesSOFT"));
    MakeCurrent();
}

Mixer::~Mixer() {
    if (alcGetCurrentContext() == context_) alcMakeContextCurrent(nullptr);
    alcDestroyContext(context_);
    alcCloseDevice(device_);
}

void Mixer::MakeCurrent() const {
    if (alcGetCurrentContext() != context_) alcMakeContextCurrent(context_);
}

std::unique_ptr<SoundVoice> Mixer::CreateVoice(const PcmSound& sound) {
    return std::make_unique<MixerVoice>(*this, sound);
}

void Mixer::Played(MixerVoice& voice, bool looping) {
    const Clock::time_point now = now_();
    if (!looping) {
        voice.waiting_ = true;
        voice.playedAt_ = now;
    }
    if (voice.silent_) return;
    if (looping && !voice.loopCounted_) audibleLoops_.fetch_add(1);
    if (!looping && voice.loopCounted_) audibleLoops_.fetch_sub(1);
    voice.loopCounted_ = looping;
    const Clock::rep until = (now + voice.length_).time_since_epoch().count();
    if (until > audibleUntil_.load()) audibleUntil_.store(until);
    if (wake_) wake_();
}

int Mixer::DropLateNotes() {
    const Clock::time_point now = now_();
    const Clock::rep rendered = lastRender_.load();
    if (rendered == 0 && now - opened_ < kStartupWait) return 0;
    const Clock::time_point lastRender{Clock::duration(rendered)};
    int dropped = 0;
    for (MixerVoice* voice : voices_) dropped += voice->DropIfLate(now, lastRender);
    return dropped;
}

bool Mixer::Audible() const {
    return audibleLoops_.load() > 0 || now_().time_since_epoch().count() < audibleUntil_.load();
}

void Mixer::Mix(Renderer& who, float* samples, int frames) {
    if (owner_.load() != &who || !render_) {
        std::fill(samples, samples + 2 * frames, 0.0f);
        return;
    }
    render_(device_, samples, frames);
    limiter_.Process(samples, frames);
    if (fadeIn_.exchange(false)) Ramp(samples, frames, 0, 1);
    if (Renderer* next = next_.load(); next && next != &who) {
        // The hand-over: this output's last period fades out, the next one's first fades in.
        Ramp(samples, frames, 1, 0);
        fadeIn_.store(true);
        next_.store(nullptr);
        owner_.store(next);
    }
    lastRender_.store(now_().time_since_epoch().count());
}

void Mixer::HandTo(Renderer& next, bool ownerCalled) {
    Renderer* old = owner_.load();
    if (old == &next) return;
    if (old && ownerCalled) {
        next_.store(&next);
        for (const auto limit = Clock::now() + kHandOverLimit;
             owner_.load() != &next && Clock::now() < limit;)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        next_.store(nullptr);
    }
    if (owner_.load() != &next) {
        // Taken at once: the old owner's render, should one be under way, ends first, so that
        // two never share the limiter.
        owner_.store(nullptr);
        WaitOut(old);
        fadeIn_.store(true);
        owner_.store(&next);
    }
    WaitOut(old);
}

void Mixer::Release(Renderer& renderer) {
    Renderer* self = &renderer;
    owner_.compare_exchange_strong(self, nullptr);
    self = &renderer;
    next_.compare_exchange_strong(self, nullptr);
    WaitOut(&renderer);
}

void Mixer::RenderDirect(float* samples, int frames) {
    if (!render_) return;
    render_(device_, samples, frames);
    limiter_.Process(samples, frames);
}

// A render that began before its output lost the mixer may still be under way; none is long.
void Mixer::WaitOut(const Renderer* renderer) {
    while (renderer && renderer->rendering_.load()) std::this_thread::yield();
}

}  // namespace platform
