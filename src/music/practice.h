// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <vector>

#include "core/note_map.h"
#include "music/notes.h"
#include "music/song.h"

namespace music {

// The keys of notes 1..36, by note; [0] unused.
using NoteKeys = std::array<bool, core::kNoteCount + 1>;

// Practice on a song: the notes of the player's part come as chords, one at a time, and each
// waits until the player has pressed every key of it.
//
// The part's notes that start within 20 ms of the first of them are one chord: the keys they play
// on (a note outside C3..B5 on its note's key moved by whole octaves into them, as the song shows
// it). The coming chord is the first that is not done; it is done once each of its keys has gone
// down since the chord before was done, so a key still held from before counts only once it has
// been let go and pressed again. Any other key the player presses is a wrong key.
class Practice {
  public:
    static constexpr double kChordSpan = 0.020;  // seconds

    struct Chord {
        double at;  // seconds into the song: its first note's start
        NoteKeys keys{};
        int notes = 0;  // the part's notes in it, several on one key included
    };
    struct Score {
        int played = 0;  // notes of the chords done
        int notes = 0;   // notes in the part
        int wrong = 0;   // presses of keys outside the coming chord
        // For each chord done: how much later than the song's own time it was done (seconds,
        // earlier when negative).
        std::vector<double> lateness;

        // 0 with no chord done.
        double MedianLateness() const;
        // The share of chords done within `limit` of their time, early or late; 0..1.
        double ShareWithin(double limit) const;
    };

    // The part is an index into song.parts, or none for all of them.
    Practice(const Song& song, std::optional<int> part);

    const std::vector<Chord>& chords() const { return chords_; }
    // The coming chord; nullptr once all are done.
    const Chord* Coming() const { return coming_ < chords_.size() ? &chords_[coming_] : nullptr; }
    // A key the player pressed at `at`, when the coming chord is due at `due` by the song's own
    // time; whether it made the chord done.
    bool Press(int note, Clock::time_point at, Clock::time_point due);
    const Score& score() const { return score_; }
    bool InPart(const SongNote& note) const { return !part_ || note.part == *part_; }

  private:
    std::optional<int> part_;
    std::vector<Chord> chords_;
    std::size_t coming_ = 0;
    NoteKeys pressed_{};  // keys of the coming chord pressed since the chord before was done
    Score score_;
};

}  // namespace music
