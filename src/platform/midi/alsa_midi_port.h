#pragma once

#include <memory>
#include <string>

#include "platform/midi/midi_port.h"

typedef struct _snd_seq snd_seq_t;
typedef struct snd_midi_event snd_midi_event_t;

namespace platform {

// A port of the ALSA sequencer that others subscribe to; each message goes out at once. A send
// the sequencer refuses loses the port, which is then opened again as a JACK port is when its
// server went away.
class AlsaMidiPort : public MidiPort {
  public:
    // Client and port both named `name`; nullptr when the sequencer cannot be opened.
    static std::unique_ptr<AlsaMidiPort> Open(const std::string& name);
    ~AlsaMidiPort() override;

    void Send(std::span<const std::uint8_t> message) override;
    bool Alive() const override { return !lost_; }
    bool TakeNewConnection() override;
    const char* Where() const override { return "the ALSA sequencer"; }

  private:
    AlsaMidiPort(snd_seq_t* sequencer, int port, snd_midi_event_t* encoder)
        : sequencer_(sequencer), port_(port), encoder_(encoder) {}

    snd_seq_t* sequencer_;
    int port_;
    snd_midi_event_t* encoder_;
    bool lost_ = false;
    int subscribers_ = 0;  // at the last TakeNewConnection
};

}  // namespace platform
