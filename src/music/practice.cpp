// SPDX-License-Identifier: MIT
#include "music/practice.h"

#include <algorithm>
#include <cmath>

namespace music {

Practice::Practice(const Song& song, std::optional<int> part) : part_(part) {
    for (const SongNote& note : song.notes) {
        if (!InPart(note)) continue;
        if (chords_.empty() || note.start - chords_.back().at > kChordSpan)
            chords_.push_back({note.start});
        chords_.back().keys[core::NoteOfKey(KeyOfPitch(note.pitch))] = true;
        ++chords_.back().notes;
        ++score_.notes;
    }
}

bool Practice::Press(int note, Clock::time_point at, Clock::time_point due) {
    const Chord* coming = Coming();
    if (!coming) return false;
    if (!coming->keys[note]) {
        ++score_.wrong;
        return false;
    }
    pressed_[note] = true;
    for (int key = 1; key <= core::kNoteCount; ++key)
        if (coming->keys[key] && !pressed_[key]) return false;
    score_.played += coming->notes;
    score_.lateness.push_back(std::chrono::duration<double>(at - due).count());
    pressed_.fill(false);
    ++coming_;
    return true;
}

double Practice::Score::MedianLateness() const {
    if (lateness.empty()) return 0;
    std::vector<double> sorted = lateness;
    const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    return *middle;
}

double Practice::Score::ShareWithin(double limit) const {
    if (lateness.empty()) return 0;
    const auto within = std::count_if(lateness.begin(), lateness.end(),
                                      [limit](double late) { return std::fabs(late) <= limit; });
    return static_cast<double>(within) / static_cast<double>(lateness.size());
}

}  // namespace music
