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
#include "music/song.h"
#include "platform/keys/keys.h"

namespace music {

// A song played on the drawn keyboard: a key source of the record of presses that reports each
// note's key down at the note's start and up at its end, so that the notes sound, light and go
// out over MIDI as pressed keys do. A note outside C3..B5 plays on the key of its note moved by
// whole octaves into them (KeyOfPitch). A note that starts while its key is down from an earlier
// one comes up and goes down again, so that it plays again. The timing runs on the event loop:
// one precise timer for the next change, every time measured from the song's start by the clock
// the player was given.
class SongPlayer {
  public:
    // Songs are read by the song reader program at that path (see song.h).
    SongPlayer(std::string reader, Now now);
    ~SongPlayer();
    SongPlayer(const SongPlayer&) = delete;
    SongPlayer& operator=(const SongPlayer&) = delete;

    // The source to hand to the record of presses; one per player. The song's keys come up as
    // the source goes.
    std::unique_ptr<platform::KeySource> Source();
    // Reads the file on a worker thread, then plays it in place of the song playing. A file that
    // cannot be read is told to `failed` on the event loop and changes nothing.
    using Failure = std::function<void(const core::LoadError& error)>;
    void Open(const std::string& path, Failure failed);
    void Play(const Song& song);
    // Lets go of the song's keys; the song ends here.
    void Stop();
    bool Playing() const { return next_ < steps_.size(); }
    // Reports every step that is due by the clock as one batch, then sets the timer for the
    // next; the timer calls it, and so may a test that moves its own clock.
    void Advance();

  private:
    class Keys;
    struct Step {
        double at;  // seconds from the start
        std::uint8_t key;
        bool down;
    };
    struct Inbox;

    void LetGo();

    std::string reader_;
    Now now_;
    std::optional<platform::KeyReport> report_;
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    Clock::time_point start_;
    std::array<int, 256> held_{};  // by key: the song's notes holding it down
    QTimer timer_;
    std::shared_ptr<Inbox> inbox_;
    unsigned opened_ = 0;  // files asked for; only the last one asked for plays
};

}  // namespace music
