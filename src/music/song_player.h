// SPDX-License-Identifier: MIT
#pragma once

#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/run_time_error.h"
#include "music/notes.h"
#include "music/practice.h"
#include "music/song.h"
#include "platform/keys/keys.h"

namespace music {

// A song played on the drawn keyboard: a key source of the record of presses that reports each
// note's key down at the note's start and up at its end, so that the notes sound, light and go
// out over MIDI as pressed keys do. A note outside C3..B5 plays on the key of its note moved by
// whole octaves into them (KeyOfPitch). A note that starts while its key is down from an earlier
// one comes up and goes down again, so that it plays again.
//
// The song's time runs at the tempo chosen (25..200 % of its own), by the clock the player was
// given. In practice (see practice.h) the player's part is not played but marked: the song stops
// at each of its chords, the other parts with it, until the player has pressed the chord's keys,
// then goes on from there. When listening, the part's next chord is marked shortly before it
// sounds. The timing runs on the event loop: one precise timer for the next change.
class SongPlayer {
  public:
    struct Settings {
        bool practice = false;
        std::optional<int> part;  // an index into Song::parts; none for all of them
        int tempo = 100;          // percent of the song's own, 25..200
    };
    // Marks shown no sooner than this before their chord sounds, when listening.
    static constexpr double kMarkAhead = 0.25;  // seconds

    // Songs are read by the song reader program at that path (see song.h).
    SongPlayer(std::string reader, Now now);
    ~SongPlayer();
    SongPlayer(const SongPlayer&) = delete;
    SongPlayer& operator=(const SongPlayer&) = delete;

    // The source to hand to the record of presses; one per player. The song's keys come up as
    // the source goes.
    std::unique_ptr<platform::KeySource> Source();
    // Reads the file on a worker thread, then plays it in place of the song playing, with the
    // settings as they are and its likely part. A file that cannot be read is told to `failed`
    // on the event loop and changes nothing.
    using Failure = std::function<void(const core::LoadError& error)>;
    void Open(const std::string& path, Failure failed);
    // Plays the song from its start.
    void Play(Song song, Settings settings);
    // From the start again, the score cleared.
    void Restart();
    // Lets go of the song's keys; the song ends here.
    void Stop();
    // Tempo takes effect at once; practice and the part start the song over.
    void Change(Settings settings);

    // A note the player played: it counts in practice (a song's own notes do not).
    void Hear(const NoteEvent& note);

    bool Playing() const { return playing_; }
    bool Waiting() const { return waiting_; }
    const Song& song() const { return song_; }
    const Settings& settings() const { return settings_; }
    // Seconds into the song, by its own time.
    double Position() const;
    // The score so far; nullptr when not practising.
    const Practice::Score* score() const;

    // Run on the event loop: as a song starts, stops, waits, goes on, scores or ends.
    void OnChange(std::function<void()> handler) { onChange_ = std::move(handler); }
    // Run as the keys marked change.
    void OnMarks(std::function<void(const NoteKeys&)> handler) { onMarks_ = std::move(handler); }

    // Reports every step that is due by the clock as one batch, then sets the timer for the
    // next; the timer calls it, and so may a test that moves its own clock.
    void Advance();

  private:
    struct Step {
        double at;  // seconds into the song
        std::uint8_t key;
        bool down;
    };
    struct Inbox;

    void Begin();
    void LetGo();
    // The song is over: by itself (finished) or stopped.
    void End(bool finished);
    // Where the song is at `now`, and when it reaches a point, at the tempo chosen.
    double SongTime(Clock::time_point now) const;
    Clock::time_point WallTime(double at) const;
    void Mark(const NoteKeys& keys);
    // A practice chord's keys the song itself holds: let go, so that the player's presses count.
    void Yield(const NoteKeys& keys);
    void Changed() const;
    // The practice's score as the line said at its end.
    std::string Result() const;

    std::string reader_;
    Now now_;
    std::optional<platform::KeyReport> report_;
    Song song_;
    Settings settings_;
    std::vector<Step> steps_;  // the notes the song plays itself
    std::size_t next_ = 0;
    std::optional<Practice> practice_;  // the part's chords, played or marked
    std::size_t nextMark_ = 0;          // when listening: the part's next chord to mark
    NoteKeys marked_{};
    bool playing_ = false;
    bool waiting_ = false;
    double endedAt_ = 0;  // the song's time when it last ended
    // The song's time was `anchorAt` at `anchorWall`; from there it runs at the tempo.
    double anchorAt_ = 0;
    Clock::time_point anchorWall_;
    std::array<int, 256> held_{};  // by key: the song's notes holding it down
    QTimer timer_;
    std::shared_ptr<Inbox> inbox_;
    unsigned opened_ = 0;  // files asked for; only the last one asked for plays
    std::function<void()> onChange_;
    std::function<void(const NoteKeys&)> onMarks_;
};

}  // namespace music
