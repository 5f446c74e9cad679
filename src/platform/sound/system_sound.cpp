// SPDX-License-Identifier: MIT
#include "platform/sound/system_sound.h"

#include <pthread.h>

#include <utility>

#include "platform/sound/outputs.h"

namespace platform {

SystemSound::SystemSound(std::unique_ptr<Mixer> mixer, std::vector<Opener> outputs, Timing timing)
    : mixer_(std::move(mixer)), timing_(timing), lastAudible_(Clock::now()) {
    for (Opener& open : outputs) slots_.emplace_back().open = std::move(open);
    mixer_->OnAudibleStart([this] { Wake(); });
    thread_ = std::thread([this] { Run(); });
    pthread_setname_np(thread_.native_handle(), "tonarium-sound");
}

SystemSound::~SystemSound() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_one();
    thread_.join();
}

std::unique_ptr<SoundVoice> SystemSound::CreateVoice(const PcmSound& sound) {
    return mixer_->CreateVoice(sound);
}

void SystemSound::Tick() {
    if (const int dropped = mixer_->DropLateNotes()) droppedNow_ += dropped;
    if (ticked_.exchange(true)) return;
    {
        std::lock_guard lock(mutex_);
        started_ = true;
    }
    changed_.notify_one();
}

void SystemSound::Wake() {
    {
        std::lock_guard lock(mutex_);
        wake_ = true;
    }
    changed_.notify_one();
}

void SystemSound::Run() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return stop_ || started_; });
    while (!stop_) {
        const bool wake = std::exchange(wake_, false);
        lock.unlock();
        const bool connecting = Step(Clock::now(), wake);
        lock.lock();
        changed_.wait_for(lock, connecting ? timing_.poll : timing_.steadyPoll,
                          [this] { return stop_ || wake_; });
    }
    lock.unlock();
    for (Slot& slot : slots_) Close(slot);
    TellFellBehind(Clock::now(), true);
}

bool SystemSound::Step(Clock::time_point now, bool wake) {
    CloseFailed(now);
    TakeBest(now);
    const bool connecting = OpenDue(now);
    PauseOrWake(now, wake);
    TellFellBehind(now, false);
    return connecting;
}

namespace {

// Why an output failed: its library's words when it has any.
std::string Failure(const Output& output, bool late) {
    const Renderer& renderer = output.renderer();
    if (renderer.state() == Output::State::kLost) return renderer.Reason();
    return late ? "it did not start playing in time" : "it stopped asking for sound";
}

}  // namespace

// Closes what went away, stalled, or did not start playing in time.
void SystemSound::CloseFailed(Clock::time_point now) {
    for (int at = 0; at < static_cast<int>(slots_.size()); ++at) {
        Slot& slot = slots_[at];
        if (!slot.output) continue;
        const Output::State state = slot.output->Poll(now);
        const bool late =
            state == Output::State::kConnecting && now - slot.openedAt > timing_.connect;
        if (state != Output::State::kLost && !late) continue;
        slot.failure = Failure(*slot.output, late);
        Close(slot);
        slot.retryAt = now + timing_.retry;
        if (at != current_) continue;
        current_ = -1;
        playing_.store("");
        paused_.store(false);
        say_.Say(std::string("the ") + slot.name + " output is lost" +
                 (slot.failure.empty() ? "" : ": " + slot.failure) +
                 "; trying to open one again every second");
        toldGone_ = true;
        slot.retryAt = now;  // at once: a restarted server may already be back
    }
}

// Hands the mixer to the best output that plays, better than the one that has it.
void SystemSound::TakeBest(Clock::time_point now) {
    const int limit = current_ < 0 ? static_cast<int>(slots_.size()) : current_;
    int best = -1;
    for (int at = 0; at < limit && best < 0; ++at) {
        const Slot& slot = slots_[at];
        if (!slot.output) continue;
        if (slot.output->Poll(now) == Output::State::kPlaying)
            best = at;
        else if (now - slot.openedAt < timing_.headStart)
            return;  // a better output may yet come: wait for it a moment
    }
    if (best < 0) return;
    Output& next = *slots_[best].output;
    const bool ownerCalled = current_ >= 0 && slots_[current_].output->Active();
    mixer_->HandTo(next.renderer(), ownerCalled);
    next.renderer().TakeFellBehind();  // while it played silence beside the owner: not heard
    slots_[best].failure.clear();
    const int old = std::exchange(current_, best);
    // The outputs worse than the new one have had their chance.
    for (std::size_t at = best + 1; at < slots_.size(); ++at) Close(slots_[at]);
    playing_.store(next.Name());
    paused_.store(false);
    lastAudible_ = now;
    if (std::exchange(toldGone_, false))
        say_.Say(std::string("the sound is back, on ") + next.Name());
    else if (old >= 0)
        say_.Say(std::string("the sound moves to ") + next.Name());
}

// Starts the outputs better than the one that plays (all of them while none does) whose retry is
// due, in order: the next only once every one before it has failed or has had its head start.
// Each connects in the background. Whether one is connecting.
bool SystemSound::OpenDue(Clock::time_point now) {
    const int limit = current_ < 0 ? static_cast<int>(slots_.size()) : current_;
    bool connecting = false;
    for (int at = 0; at < limit; ++at) {
        Slot& slot = slots_[at];
        if (!slot.output && now >= slot.retryAt) {
            slot.output = slot.open(*mixer_);
            slot.openedAt = now;
            if (slot.output)
                slot.name = slot.output->Name();
            else
                slot.retryAt = now + timing_.retry;
        }
        if (!slot.output) continue;
        connecting = true;
        if (now - slot.openedAt < timing_.headStart) break;
    }
    if (current_ < 0 && !connecting && !toldGone_) {
        std::string why;
        for (const Slot& slot : slots_)
            if (!slot.failure.empty())
                why += (why.empty() ? "" : "; ") + std::string(slot.name) + ": " + slot.failure;
        say_.Say("no sound output can be opened" + (why.empty() ? "" : " (" + why + ")") +
                 "; trying again every second");
        toldGone_ = true;
    }
    return connecting;
}

void SystemSound::PauseOrWake(Clock::time_point now, bool wake) {
    if (current_ < 0) return;
    Output& output = *slots_[current_].output;
    if (wake || mixer_->Audible()) lastAudible_ = now;
    if (wake && !output.Active()) {
        output.SetActive(true);
        paused_.store(false);
    } else if (output.Active() && now - lastAudible_ >= timing_.silenceBeforePause) {
        output.SetActive(false);
        paused_.store(true);
    }
}

// Tells how often each output fell behind while it played the mixer, and how many notes were
// dropped for want of an output that played them in time, at most once a while, and as the sound
// closes what is left untold.
void SystemSound::TellFellBehind(Clock::time_point now, bool closing) {
    dropped_.count += droppedNow_.exchange(0);
    if (TimeToTell(dropped_, now, closing)) {
        const int count = dropped_.count;
        Say(std::to_string(count) + (count == 1 ? " note was" : " notes were") +
            " dropped: no output played " + (count == 1 ? "it" : "them") + " within " +
            std::to_string(Mixer::kLateLimit.count()) + " ms");
        dropped_ = {0, now};
    }
    if (current_ >= 0 && slots_[current_].output) {
        Output& output = *slots_[current_].output;
        const int fellBehind = output.renderer().TakeFellBehind();
        if (fellBehind > 0) output.QueueMore();
        slots_[current_].fellBehind.count += fellBehind;
    }
    for (Slot& slot : slots_) {
        if (!TimeToTell(slot.fellBehind, now, closing)) continue;
        const int count = slot.fellBehind.count;
        const std::string more = slot.fellBehind.toldAt ? " more" : "";
        Say(std::string("the ") + slot.name + " output fell behind " +
            (count == 1 ? "once" + more : std::to_string(count) + more + " times"));
        slot.fellBehind = {0, now};
    }
}

bool SystemSound::TimeToTell(const Untold& untold, Clock::time_point now, bool closing) const {
    return untold.count > 0 &&
           (!untold.toldAt || now - *untold.toldAt >= timing_.fellBehindEvery || closing);
}

void SystemSound::Close(Slot& slot) {
    if (!slot.output) return;
    Renderer& renderer = slot.output->renderer();
    mixer_->Release(renderer);
    renderer.Detach();
    if (current_ >= 0 && &slot == &slots_[current_])
        slot.fellBehind.count += renderer.TakeFellBehind();
    slot.output.reset();
}

const char* OutputName(SoundOutput output) {
    switch (output) {
        case SoundOutput::kPipeWire:
            return "pipewire";
        case SoundOutput::kPulse:
            return "pulse";
        case SoundOutput::kAlsa:
            return "alsa";
        case SoundOutput::kAny:
            break;
    }
    return "any";
}

std::unique_ptr<SoundDevice> OpenSystemSound(SoundOutput output) {
    auto mixer = Mixer::Open();
    if (!mixer) return nullptr;
    std::vector<SystemSound::Opener> outputs;
    if (output == SoundOutput::kAny || output == SoundOutput::kPipeWire)
        outputs.push_back(&OpenPipeWireOutput);
    if (output == SoundOutput::kAny || output == SoundOutput::kPulse)
        outputs.push_back(&OpenPulseOutput);
    if (output == SoundOutput::kAny || output == SoundOutput::kAlsa)
        outputs.push_back(&OpenAlsaOutput);
    return std::make_unique<SystemSound>(std::move(mixer), std::move(outputs),
                                         SystemSound::Timing{});
}

}  // namespace platform
