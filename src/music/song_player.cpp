#include <QThreadPool>
#include <algorithm>
#include <mutex>
#include <new>

#include "music/song_player.h"

namespace music {

// Where a file read on a worker thread hands the song back: the event loop's object, for as long
// as the player lives.
struct SongPlayer::Inbox {
    std::mutex mutex;
    QObject* receiver;
};

// The player's face to the record of presses, which owns it.
class SongPlayer::Keys : public platform::KeySource {
  public:
    explicit Keys(SongPlayer& player) : player_(player) {}
    ~Keys() override {
        player_.LetGo();
        player_.report_.reset();
    }
    void Start(platform::KeyReport report) override { player_.report_ = report; }
    const char* Name() const override { return "song"; }
    platform::KeyOrigin Origin() const override { return platform::KeyOrigin::kSong; }

  private:
    SongPlayer& player_;
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
    return std::make_unique<Keys>(*this);
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
                [this, asked, song = std::move(song), error = std::move(error), failed] {
                    if (error)
                        failed(*error);
                    else if (asked == opened_)
                        Play(*song);
                },
                Qt::QueuedConnection);
        });
}

void SongPlayer::Play(const Song& song) {
    Stop();
    // Each note's step down comes before its step up, and the notes come in order of their
    // starts: among steps at the same moment, an earlier note comes up before a later goes down.
    for (const SongNote& note : song.notes) {
        const std::uint8_t key = KeyOfPitch(note.pitch);
        steps_.push_back({note.start, key, true});
        steps_.push_back({std::max(note.start, note.end), key, false});
    }
    std::stable_sort(steps_.begin(), steps_.end(),
                     [](const Step& a, const Step& b) { return a.at < b.at; });
    start_ = now_();
    Advance();
}

void SongPlayer::Stop() {
    timer_.stop();
    LetGo();
    if (report_) report_->Changed();
}

void SongPlayer::LetGo() {
    for (unsigned key = 0; key < held_.size(); ++key)
        if (held_[key] > 0 && report_) report_->Up(key);
    held_.fill(0);
    steps_.clear();
    next_ = 0;
}

void SongPlayer::Advance() {
    const Clock::time_point now = now_();
    const double at = std::chrono::duration<double>(now - start_).count();
    for (; next_ < steps_.size() && steps_[next_].at <= at; ++next_) {
        const Step& step = steps_[next_];
        int& held = held_[step.key];
        if (step.down) {
            if (held++ > 0 && report_) report_->Up(step.key);
            if (report_) report_->Down(step.key);
        } else if (held > 0 && --held == 0 && report_) {
            report_->Up(step.key);
        }
    }
    if (report_) report_->Changed();
    if (next_ == steps_.size()) return LetGo();
    const auto due = start_ + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(steps_[next_].at));
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - now);
    timer_.start(std::max(wait, std::chrono::milliseconds(0)));
}

}  // namespace music
