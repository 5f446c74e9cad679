// SPDX-License-Identifier: MIT
// tonarium-song-reader FILE: reads a Standard MIDI File with libsmf and writes its notes on and
// off (SongEvent) and its tracks' names on standard output, tempo map applied, percussion left
// out; status 0 when libsmf read it. libsmf trusts what it reads: a track without its end, or an
// event of an unexpected length, fails one of its assertions, and a chunk longer than the file is
// read past its end. So the program runs it as a process of its own (see song_file.cpp): whatever a
// file does to the library ends here.
#include <glib.h>  // before smf.h, which would include it inside extern "C"
#include <smf.h>
// After them: POSIX.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "music/song_events.h"
#include "platform/midi/midi_messages.h"

namespace {

using music::SongEvent;
namespace midi = platform::midi;

constexpr std::uint8_t kMeta = 0xFF;
constexpr std::uint8_t kTrackName = 0x03;
constexpr std::size_t kMaxName = 64;

bool WriteAll(const void* data, std::size_t size) {
    const auto* next = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(STDOUT_FILENO, next, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        next += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// A track's name as one short line: control characters become spaces.
std::string NameLine(int track, const char* text) {
    std::string name(text, strnlen(text, kMaxName));
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return std::to_string(track) + '\t' + name + '\n';
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) return 2;
    smf_t* smf = smf_load(argv[1]);
    if (!smf) return 1;
    std::vector<SongEvent> batch;
    constexpr std::size_t kBatch = 4096;
    batch.reserve(kBatch);
    std::map<int, std::string> names;  // by track: its first name
    double end = 0;
    while (smf_event_t* event = smf_get_next_event(smf)) {
        end = event->time_seconds;
        const int track = event->track->track_number;
        if (event->midi_buffer_length > 2 && event->midi_buffer[0] == kMeta &&
            event->midi_buffer[1] == kTrackName && !names.contains(track))
            if (char* text = smf_event_extract_text(event)) {
                names[track] = NameLine(track, text);
                free(text);
            }
        if (event->midi_buffer_length != 3) continue;
        const std::uint8_t status = event->midi_buffer[0] & midi::kStatusMask;
        const std::uint8_t channel = event->midi_buffer[0] & midi::kChannelMask;
        if ((status != midi::kNoteOn && status != midi::kNoteOff) ||
            channel == midi::kPercussionChannel)
            continue;
        // A note on at velocity 0 is a note off.
        const bool on = status == midi::kNoteOn && event->midi_buffer[2] != 0;
        batch.push_back({event->time_seconds, static_cast<std::uint16_t>(track), channel,
                         event->midi_buffer[1], on});
        if (batch.size() == kBatch) {
            if (!WriteAll(batch.data(), batch.size() * sizeof(SongEvent))) return 1;
            batch.clear();
        }
    }
    batch.push_back({end, 0, music::kSongEnd, 0, false});
    bool written = WriteAll(batch.data(), batch.size() * sizeof(SongEvent));
    for (const auto& [track, line] : names) written = written && WriteAll(line.data(), line.size());
    smf_delete(smf);
    return written ? 0 : 1;
}
