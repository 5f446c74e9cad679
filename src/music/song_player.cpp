// SPDX-License-Identifier: MIT
#include "music/song_player.h"

#include <QThreadPool>
#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <new>

#include "platform/messages.h"

namespace music {

// Where a file read on a worker thread hands the song back: the event loop's object, for as long
// as the player lives.
struct SongPlayer::Inbox {
    std::mutex mutex;
    QObject* receiver;
};

SongPlayer::SongPlayer(std::string reader, Now now)
    : reader_(std::move(reader)), now_(std::move(now)), inbox_(std::make_shared<Inbox>()) {
    inbox_->receiver = &timer_;
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Advance(); });
}

SongPlayer::~SongPlayer() {
    std::lock_guard lock(inbox_->mutex);
    inbox_->receiver = nullptr;
}

std::unique_ptr<platform::KeySource> SongPlayer::Source() {
    return std::make_unique<platform::ReportingSource>("song", platform::KeyOrigin::kSong, report_,
                                                       [this] { LetGo(); });
}

void SongPlayer::Open(const std::string& path, Failure failed) {
    const unsigned asked = ++opened_;
    QThreadPool::globalInstance()->start(
        [this, inbox = inbox_, path, reader = reader_, asked, failed] {
            std::optional<Song> song;
            std::optional<core::LoadError> error;
            try {
                song = ReadSong(path, reader);
            } catch (const core::LoadError& refused) {
                error = refused;
            } catch (const std::bad_alloc&) {
                error.emplace(path, "недостаточно памяти");
            }
            std::lock_guard lock(inbox->mutex);
            if (!inbox->receiver) return;
            QMetaObject::invokeMethod(
                inbox->receiver,
                [this, asked, song = std::move(song), error = std::move(error), failed]() mutable {
                    if (error) return failed(*error);
                    if (asked != opened_) return;
                    Settings settings = settings_;
                    settings.part = song->LikelyPart();
                    Play(std::move(*song), settings);
                },
                Qt::QueuedConnection);
        });
}

void SongPlayer::Play(Song song, Settings settings) {
    Stop();
    song_ = std::move(song);
    settings_ = settings;
    Begin();
}

void SongPlayer::Restart() {
    if (!song_.notes.empty()) Begin();
}

void SongPlayer::Change(Settings settings) {
    const bool over = settings.practice != settings_.practice || settings.part != settings_.part;
    if (playing_ && !over) {
        anchorAt_ = Position();
        anchorWall_ = now_();
    }
    settings_ = settings;
    if (over && !song_.notes.empty()) return Begin();
    Changed();
    if (playing_) Advance();
}

// Each note's step down comes before its step up, and the notes come in order of their starts:
// among steps at the same moment, an earlier note comes up before a later goes down.
void SongPlayer::Begin() {
    timer_.stop();
    LetGo();
    practice_.emplace(song_, settings_.part);
    for (const SongNote& note : song_.notes) {
        if (settings_.practice && practice_->InPart(note)) continue;
        const std::uint8_t key = KeyOfPitch(note.pitch);
        steps_.push_back({note.start, key, true});
        steps_.push_back({std::max(note.start, note.end), key, false});
    }
    std::stable_sort(steps_.begin(), steps_.end(),
                     [](const Step& a, const Step& b) { return a.at < b.at; });
    nextMark_ = 0;
    waiting_ = false;
    playing_ = true;
    anchorAt_ = 0;
    anchorWall_ = now_();
    Changed();
    Advance();
}

void SongPlayer::Stop() {
    if (playing_) End(false);
}

void SongPlayer::End(bool finished) {
    endedAt_ = finished ? song_.length : Position();
    if (settings_.practice) platform::Say(Result());
    timer_.stop();
    playing_ = false;
    waiting_ = false;
    LetGo();
    Mark({});
    if (report_) report_->Changed();
    Changed();
}

void SongPlayer::LetGo() {
    for (unsigned key = 0; key < held_.size(); ++key)
        if (held_[key] > 0 && report_) report_->Up(key);
    held_.fill(0);
    steps_.clear();
    next_ = 0;
}

void SongPlayer::Hear(const NoteEvent& note) {
    if (!playing_ || !settings_.practice || !note.on || note.from == KeyOrigin::kSong) return;
    const Practice::Chord* coming = practice_->Coming();
    if (!coming) return;
    const double chordAt = coming->at;
    if (practice_->Press(note.note, note.at, WallTime(chordAt)) && waiting_) {
        // On from the chord, from the moment it was done.
        waiting_ = false;
        anchorAt_ = chordAt;
        anchorWall_ = note.at;
    }
    Changed();
    // Not from within the record's report of this press: on the next turn of the event loop.
    timer_.start(0);
}

double SongPlayer::Position() const {
    if (!playing_) return endedAt_;
    const Practice::Chord* coming = settings_.practice ? practice_->Coming() : nullptr;
    const double at = std::min(SongTime(now_()), song_.length);
    return coming ? std::min(at, coming->at) : at;
}

const Practice::Score* SongPlayer::score() const {
    return practice_ && settings_.practice ? &practice_->score() : nullptr;
}

double SongPlayer::SongTime(Clock::time_point now) const {
    return anchorAt_ +
           std::chrono::duration<double>(now - anchorWall_).count() * settings_.tempo / 100.0;
}

Clock::time_point SongPlayer::WallTime(double at) const {
    return anchorWall_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                             (at - anchorAt_) * 100.0 / settings_.tempo));
}

void SongPlayer::Advance() {
    if (!playing_) return;
    const Clock::time_point now = now_();
    double at = SongTime(now);
    const Practice::Chord* coming = settings_.practice ? practice_->Coming() : nullptr;
    if (coming && at >= coming->at) {
        at = coming->at;
        if (!waiting_) {
            waiting_ = true;
            Yield(coming->keys);
            Changed();
        }
    }
    // While the song waits, what starts with the chord waits with it; what ends there ends.
    const auto due = [&](const Step& step) {
        return step.at < at || (step.at == at && (!waiting_ || !step.down));
    };
    for (; next_ < steps_.size() && due(steps_[next_]); ++next_) {
        const Step& step = steps_[next_];
        int& held = held_[step.key];
        if (step.down) {
            if (held++ > 0 && report_) report_->Up(step.key);
            if (report_) report_->Down(step.key);
        } else if (held > 0 && --held == 0 && report_) {
            report_->Up(step.key);
        }
    }
    // The keys marked: the coming chord's in practice; else the part's next chord, once it is
    // near.
    const std::vector<Practice::Chord>& chords = practice_->chords();
    const double ahead = kMarkAhead * settings_.tempo / 100.0;
    while (nextMark_ < chords.size() && chords[nextMark_].at <= at) ++nextMark_;
    const bool soon = nextMark_ < chords.size() && chords[nextMark_].at - at <= ahead;
    Mark(coming ? coming->keys : soon && !settings_.practice ? chords[nextMark_].keys : NoteKeys{});
    if (report_) report_->Changed();
    if (next_ == steps_.size() && !coming) return End(true);
    if (waiting_) return;  // until the player has pressed the chord
    // Wakes for the next step, the coming chord, or the next mark.
    double wake = next_ < steps_.size() ? steps_[next_].at : song_.length;
    if (coming) wake = std::min(wake, coming->at);
    if (!settings_.practice && !soon && nextMark_ < chords.size())
        wake = std::min(wake, chords[nextMark_].at - ahead);
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(WallTime(wake) - now);
    timer_.start(std::max(wait, std::chrono::milliseconds(0)));
}

void SongPlayer::Mark(const NoteKeys& keys) {
    if (keys == marked_) return;
    marked_ = keys;
    if (onMarks_) onMarks_(marked_);
}

void SongPlayer::Yield(const NoteKeys& keys) {
    for (int note = 1; note <= core::kNoteCount; ++note) {
        const std::uint8_t key = core::NoteMap[note - 1].keyCode;
        if (!keys[note] || held_[key] == 0) continue;
        held_[key] = 0;
        if (report_) report_->Up(key);
    }
}

void SongPlayer::Changed() const {
    if (onChange_) onChange_();
}

std::string SongPlayer::Result() const {
    const Practice::Score& score = practice_->score();
    return "practice «" + song_.name + "»: " + std::to_string(score.played) + " of " +
           std::to_string(score.notes) + " notes played, " + std::to_string(score.wrong) +
           " wrong keys, median lateness " +
           std::to_string(std::lround(score.MedianLateness() * 1000)) + " ms";
}

}  // namespace music
