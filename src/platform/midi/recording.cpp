// The recording, written with libsmf.
#include <glib.h>  // before smf.h, which would include it inside extern "C"
#include <smf.h>
// After them: POSIX.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/messages.h"
#include "platform/midi/midi.h"
#include "platform/midi/midi_messages.h"

namespace platform {

namespace {

// 960 pulses a quarter note at the default tempo, 120 a minute: a pulse is about half a
// millisecond.
constexpr int kPulsesPerQuarter = 960;

void Add(smf_track_t* track, const std::uint8_t* bytes, int length, double seconds) {
    smf_event_t* event =
        smf_event_new_from_bytes(bytes[0], length > 1 ? bytes[1] : -1, length > 2 ? bytes[2] : -1);
    if (event) smf_track_add_event_seconds(track, event, seconds);
}

}  // namespace

Recording::Recording(std::string path) : path_(std::move(path)) {}

void Recording::Key(unsigned keyCode, bool down) {
    const int note = core::NoteOfKey(static_cast<int>(keyCode));
    if (note == 0 || sounding_[note] == down || written_) return;
    sounding_[note] = down;
    const Clock::time_point now = Clock::now();
    if (!firstNote_) firstNote_ = now;
    events_.push_back({now, midi::Note(note, down, MidiKeyboard::Settings{}.velocity, 0), 3});
}

void Recording::SetProgram(std::uint8_t program) {
    if (!written_) events_.push_back({Clock::now(), {midi::kProgramChange, program, 0}, 2});
}

void Recording::Write() {
    if (written_) return;
    written_ = true;
    const Clock::time_point end = Clock::now();
    for (int note = 1; note <= core::kNoteCount; ++note)
        if (sounding_[note]) events_.push_back({end, midi::Note(note, false, 0, 0), 3});

    smf_t* smf = smf_new();
    smf_track_t* track = smf_track_new();
    if (!smf || !track || smf_set_ppqn(smf, kPulsesPerQuarter) != 0) {
        Say("the recording could not be written: out of memory");
        return;
    }
    smf_add_track(smf, track);
    // The tempo said, although it is the files' default: not every reader takes that default.
    std::uint8_t tempo[] = {0xFF, 0x51, 3, 0x07, 0xA1, 0x20};  // 500000 µs a quarter note
    if (smf_event_t* event = smf_event_new_from_pointer(tempo, sizeof tempo))
        smf_track_add_event_seconds(track, event, 0);
    double last = 0;
    for (const Event& event : events_) {
        // What came before the first note (the instrument) comes at its start.
        const double seconds = firstNote_ && event.at > *firstNote_
                                   ? std::chrono::duration<double>(event.at - *firstNote_).count()
                                   : 0.0;
        last = std::max(last, seconds);
        Add(track, event.bytes.data(), event.length, seconds);
    }
    std::string temporary = path_ + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    int error = errno;
    if (fd >= 0) {
        // mkstemp keeps the file to its owner; the recording is an ordinary file of the user's.
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
        close(fd);
        error = smf_track_add_eot_seconds(track, last) == 0 && smf_save(smf, temporary.c_str()) == 0
                    ? 0
                    : EIO;
        if (error == 0 && std::rename(temporary.c_str(), path_.c_str()) != 0) error = errno;
        if (error != 0) std::remove(temporary.c_str());
    }
    smf_delete(smf);
    if (error == 0)
        Say("the recording is in «" + path_ + "»");
    else
        Say("the recording could not be written to «" + path_ + "»: " + std::strerror(error));
}

}  // namespace platform
