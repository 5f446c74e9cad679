// SPDX-License-Identifier: MIT
// libFuzzer entry: file bytes → ReadSong, libsmf reading in the song reader's process. Whatever the
// bytes, the song is read or refused with core::LoadError; any other exception, a crash or a hang
// of the reading side is a fault.
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <set>

#include "core/run_time_error.h"
#include "memory_file.h"
#include "music/song.h"
#include "outcomes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzzing::MemoryFile file;
    if (file.fd < 0) std::abort();
    file.Fill(data, size);
    // The reader's coverage does not reach the fuzzer: what came out of it counts instead.
    try {
        const music::Song song = music::ReadSong(file.path, TONARIUM_SONG_READER);
        std::set<int> pitches;
        for (const music::SongNote& note : song.notes) pitches.insert(note.pitch);
        fuzzing::NoteOutcome(
            {1, fuzzing::Magnitude(song.notes.size()), fuzzing::Magnitude(pitches.size())});
        fuzzing::NoteOutcome(
            {2, fuzzing::Magnitude(static_cast<std::int64_t>(song.notes.back().end * 1000))});
    } catch (const core::LoadError& error) {
        fuzzing::NoteOutcome(
            {3, static_cast<std::int64_t>(std::hash<std::string>{}(error.reason()))});
    }
    return 0;
}
