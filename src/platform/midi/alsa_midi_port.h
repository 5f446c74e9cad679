// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>

#include "platform/midi/midi_port.h"

typedef struct _snd_seq snd_seq_t;
typedef struct snd_midi_event snd_midi_event_t;

namespace platform {

// A port of the ALSA sequencer that others subscribe to, each message going out at once, and a
// port «<name> вход» beside it that takes what they send. A send the sequencer refuses loses the
// port, which is then opened again as a JACK port is when its server went away. Every sequencer
// call returns at once: the handle never blocks, and the sequencer is the kernel, no server.
class AlsaMidiPort : public MidiPort {
  public:
    // Client and output port both named `name`; nullptr when the sequencer cannot be opened, with
    // the reason in `failure`.
    static std::unique_ptr<AlsaMidiPort> Open(const std::string& name,
                                              MidiConnect connect = MidiConnect::kDevices,
                                              std::string* failure = nullptr);
    ~AlsaMidiPort() override;

    void Send(std::span<const std::uint8_t> message) override;
    bool Alive() const override { return !lost_; }
    bool TakeNewConnection() override;
    const char* Where() const override { return "the ALSA sequencer"; }
    int InputFd() const override { return fd_; }
    bool Receive(MidiMessage& message) override;
    unsigned long InputDropped() const override { return dropped_; }

  private:
    AlsaMidiPort(snd_seq_t* sequencer, int output, int input, snd_midi_event_t* codec, int fd)
        : sequencer_(sequencer), output_(output), input_(input), codec_(codec), fd_(fd) {}
    void ConnectDevices();
    void ConnectIfDevice(int client, int port);

    snd_seq_t* sequencer_;
    int output_;
    int input_;
    snd_midi_event_t* codec_;  // encodes what is sent, decodes what comes in
    int fd_;                   // the sequencer's, readable while events wait
    bool lost_ = false;
    int subscribers_ = 0;  // at the last TakeNewConnection
    unsigned long dropped_ = 0;
};

}  // namespace platform
