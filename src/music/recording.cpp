// SPDX-License-Identifier: MIT
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

#include "music/recording.h"
#include "platform/messages.h"

namespace music {

using platform::Say;

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

Recording::Recording(std::string path, MidiVoicing voicing, Now now)
    : path_(std::move(path)), voicing_(voicing), now_(std::move(now)) {}

void Recording::Play(const NoteEvent& note) {
    if (sounding_[note.note] == note.on || written_) return;
    if (!firstNote_) firstNote_ = note.at;
    Keep(note.at, note.note, note.on);
}

void Recording::Keep(Clock::time_point at, int note, bool on) {
    sounding_[note] = on;
    const auto bytes = voicing_.Note(note, on);
    events_.push_back({at, {bytes[0], bytes[1], bytes[2]}, 3});
}

void Recording::SetProgram(std::uint8_t program) {
    const auto bytes = voicing_.Program(program);
    if (!written_) events_.push_back({now_(), {bytes[0], bytes[1], 0}, 2});
}

void Recording::Write() {
    if (written_) return;
    written_ = true;
    const Clock::time_point end = now_();
    for (int note = 1; note <= core::kNoteCount; ++note)
        if (sounding_[note]) Keep(end, note, false);

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

}  // namespace music
