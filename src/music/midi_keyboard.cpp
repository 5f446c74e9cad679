// SPDX-License-Identifier: MIT
#include "music/midi_keyboard.h"

#include <QCoreApplication>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "platform/messages.h"
#include "platform/midi/midi_messages.h"

namespace music {

namespace {

using platform::KeyOrigin;
using platform::MidiPort;
using platform::Say;

// The notice in the window's language: what did not answer, and what brings each backend.
constexpr const char* kNoPortSummary = "Тонариум играет без MIDI";
std::string NoPortAdvice(MidiKeyboard::Backend backend) {
    const std::string jack =
        "Запустите сервер JACK (jackd, QjackCtl) или, если звук идёт через PipeWire, запустите "
        "Тонариум командой «pw-jack tonarium --midi» (пакет pipewire-jack).";
    const std::string alsa =
        "Для секвенсора ALSA загрузите модуль ядра snd-seq: «sudo modprobe snd-seq».";
    const std::string then = " Порт «Тонариум» откроется сам, без перезапуска.";
    switch (backend) {
        case MidiKeyboard::Backend::kJack:
            return "Сервер JACK не отвечает. " + jack + then;
        case MidiKeyboard::Backend::kAlsa:
            return "Секвенсор ALSA не открывается. " + alsa + then;
        case MidiKeyboard::Backend::kAny:
            break;
    }
    return "Не отвечают ни сервер JACK, ни секвенсор ALSA. " + jack + " " + alsa + then;
}

}  // namespace

// A try under way, shared with its thread, which may outlive the keyboard when the server hangs:
// the keyboard lets go of it as it goes, and a port that comes after is closed on that thread.
struct MidiKeyboard::Opening {
    std::mutex mutex;        // over all of it
    MidiKeyboard* keyboard;  // nullptr once the keyboard is gone
    std::unique_ptr<MidiPort> port;
    Backend backend;
    std::string failure;
};

MidiKeyboard::MidiKeyboard(Backend backend, MidiVoicing voicing, Notice noPort, Opener open)
    : backend_(backend), voicing_(voicing), open_(std::move(open)), noPort_(std::move(noPort)) {
    Open();
    QObject::connect(&retry_, &QTimer::timeout, [this] { PollPort(); });
    retry_.start(1000);
}

MidiKeyboard::~MidiKeyboard() {
    LetGo();
    input_.reset();
    if (!opening_) return;
    std::lock_guard lock(opening_->mutex);
    opening_->keyboard = nullptr;
}

void MidiKeyboard::LetGo() {
    for (int note = 1; note <= core::kNoteCount; ++note)
        if (sounding_[note]) SendNote(note, false);
    if (port_) port_->Drain(std::chrono::milliseconds(200));
}

std::unique_ptr<platform::KeySource> MidiKeyboard::Source() {
    return std::make_unique<platform::ReportingSource>("midi", KeyOrigin::kInstrument, report_,
                                                       [this] { LetGoOfInput(); });
}

void MidiKeyboard::Play(const NoteEvent& note) {
    if (sounding_[note.note] == note.on || note.from == KeyOrigin::kInstrument) return;
    // A synth connected since gets the instrument before its first note.
    if (note.on && port_ && port_->TakeNewConnection()) SendProgram();
    SendNote(note.note, note.on);
}

void MidiKeyboard::SetProgram(std::uint8_t program) {
    program_ = program;
    SendProgram();
}

// A port lost is opened again on the backend it was found on first, not on another.
void MidiKeyboard::Open() {
    if (opening_ || !QCoreApplication::instance()) return;
    opening_ = std::make_shared<Opening>();
    opening_->keyboard = this;
    opening_->backend = backend_;
    std::thread([opening = opening_, open = open_] {
        Backend backend = opening->backend;
        std::string failure;
        std::unique_ptr<MidiPort> port = open(backend, failure);
        std::lock_guard lock(opening->mutex);
        if (!opening->keyboard) return;  // gone: the port closes here
        opening->port = std::move(port);
        opening->backend = backend;
        opening->failure = std::move(failure);
        // The event loop takes it, unless the keyboard goes first (then the port goes with the
        // last holder of the try).
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [opening] {
                std::unique_lock lock(opening->mutex);
                MidiKeyboard* keyboard = opening->keyboard;
                std::unique_ptr<MidiPort> port = std::move(opening->port);
                lock.unlock();
                if (!keyboard) return;
                keyboard->opening_.reset();
                keyboard->Opened(std::move(port), opening->backend, opening->failure);
            },
            Qt::QueuedConnection);
    }).detach();
}

void MidiKeyboard::Opened(std::unique_ptr<MidiPort> port, Backend backend,
                          const std::string& failure) {
    const bool first = !std::exchange(tried_, true);
    port_ = std::move(port);
    if (port_) {
        backend_ = backend;
        SendProgram();
        if (port_->InputFd() >= 0) {
            input_ = std::make_unique<QSocketNotifier>(port_->InputFd(), QSocketNotifier::Read);
            QObject::connect(input_.get(), &QSocketNotifier::activated, [this] { Receive(); });
        }
        if (!first)
            Say(std::string("MIDI out on ") + port_->Where() + ", port «" +
                platform::kMidiPortName + "»");
        return;
    }
    if (!first) return;
    Say("no MIDI port: " + failure + "; playing on without MIDI, trying again every second");
    if (noPort_) noPort_(kNoPortSummary, NoPortAdvice(backend_));
}

// Once a second: a port whose server went away is let go, with the notes it held, and tried again
// until its server answers.
void MidiKeyboard::PollPort() {
    if (port_ && port_->Alive()) {
        if (port_->TakeNewConnection()) SendProgram();
        return;
    }
    if (port_) {
        Say(std::string("the MIDI port on ") + port_->Where() +
            " is lost; trying to open it again every second");
        LetGoOfInput();
        input_.reset();
        port_.reset();
        sounding_.fill(false);
    }
    Open();
}

void MidiKeyboard::Receive() {
    namespace midi = platform::midi;
    for (platform::MidiMessage message; port_ && port_->Receive(message);) {
        const std::uint8_t status = message.bytes[0] & midi::kStatusMask;
        const int pitch = message.bytes[1];
        if (status == midi::kProgramChange) {
            if (programIn_) programIn_(message.bytes[1]);
            continue;
        }
        if ((status != midi::kNoteOn && status != midi::kNoteOff) || !report_) continue;
        const std::uint8_t key = KeyOfPitch(pitch);
        if (status == midi::kNoteOn && message.bytes[2] != 0) {
            // A note again before its note off, or a second note on the same key, plays again.
            if (held_[key] > 0) report_->Up(key);
            report_->Down(key);
            if (!std::exchange(pitchesOn_[pitch], true)) ++held_[key];
        } else if (std::exchange(pitchesOn_[pitch], false) && --held_[key] == 0) {
            report_->Up(key);
        }
    }
    if (report_) report_->Changed();
}

void MidiKeyboard::LetGoOfInput() {
    if (report_) report_->AllUp();
    if (report_) report_->Changed();
    pitchesOn_.fill(false);
    held_.fill(0);
}

void MidiKeyboard::SendNote(int note, bool on) {
    sounding_[note] = on;
    if (port_) port_->Send(voicing_.Note(note, on));
}

void MidiKeyboard::SendProgram() {
    if (port_) port_->Send(voicing_.Program(program_));
}

}  // namespace music
