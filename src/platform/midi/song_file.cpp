// Song files, read with libsmf. libsmf trusts what it reads: a track without its end, or an event
// of an unexpected length, fails one of its assertions and a chunk longer than the file is read
// past its end. So the library reads in a child process of its own, which hands the notes over
// through a pipe: whatever the file does to the library ends there, and the program reports the
// file as damaged.
#include <glib.h>  // before smf.h, which would include it inside extern "C"
#include <smf.h>
// After them: POSIX.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <fstream>
#include <iterator>

#include "core/run_time_error.h"
#include "platform/midi/midi_messages.h"
#include "platform/midi/song_file.h"

namespace platform {

namespace {

using core::LoadError;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxSongBytes = 16 << 20;
constexpr auto kReadLimit = std::chrono::seconds(5);
constexpr std::uint8_t kPercussionChannel = 9;  // channel 10
using midi::kNoteOff;
using midi::kNoteOn;

// One note on or off, as the child hands it over; the last one, on no channel, is the song's end.
struct NoteEvent {
    double seconds;
    std::uint8_t channel;
    std::uint8_t pitch;
    bool on;
};
constexpr std::uint8_t kSongEnd = 0xFF;

std::uint32_t BigEndian32(const char* bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | static_cast<std::uint8_t>(bytes[i]);
    return value;
}

// Whether no chunk claims more bytes than the file has: a download broken off, say, ends inside
// one. A few bytes too few for another chunk are passed over, as readers do.
bool WholeChunks(const std::string& bytes) {
    for (std::size_t at = 0; bytes.size() - at >= 8;) {
        const std::uint32_t length = BigEndian32(bytes.data() + at + 4);
        if (length > bytes.size() - at - 8) return false;
        at += 8 + length;
    }
    return true;
}

bool WriteAll(int fd, const void* data, std::size_t size) {
    const auto* next = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(fd, next, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        next += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// In the child: every note on and off of the melodic channels, in time order, tempo map applied,
// then the end of the pipe. Its exit status tells whether libsmf could read the file.
[[noreturn]] void ReadInChild(const std::string& bytes, int out) {
    // libsmf tells its complaints, and glibc a failed assertion, on standard error. A fault ends
    // the child as it is, whatever handler the program or a sanitizer had installed.
    const int nowhere = open("/dev/null", O_WRONLY);
    if (nowhere >= 0) dup2(nowhere, STDERR_FILENO);
    for (int fault : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL}) signal(fault, SIG_DFL);
    smf_t* smf = smf_load_from_memory(bytes.data(), static_cast<int>(bytes.size()));
    if (!smf) _exit(1);
    std::vector<NoteEvent> batch;
    constexpr std::size_t kBatch = 4096;
    batch.reserve(kBatch);
    double end = 0;
    while (smf_event_t* event = smf_get_next_event(smf)) {
        end = event->time_seconds;
        if (event->midi_buffer_length != 3) continue;
        const std::uint8_t status = event->midi_buffer[0] & 0xF0;
        const std::uint8_t channel = event->midi_buffer[0] & 0x0F;
        if ((status != kNoteOn && status != kNoteOff) || channel == kPercussionChannel) continue;
        // A note on at velocity 0 is a note off.
        const bool on = status == kNoteOn && event->midi_buffer[2] != 0;
        batch.push_back({event->time_seconds, channel, event->midi_buffer[1], on});
        if (batch.size() == kBatch) {
            if (!WriteAll(out, batch.data(), batch.size() * sizeof(NoteEvent))) _exit(1);
            batch.clear();
        }
    }
    batch.push_back({end, kSongEnd, 0, false});
    if (!WriteAll(out, batch.data(), batch.size() * sizeof(NoteEvent))) _exit(1);
    _exit(0);
}

// What the child sent, until it closes the pipe or the time is up; false when the time ran out.
bool Collect(int in, Clock::time_point deadline, std::string& received) {
    std::array<char, 1 << 16> buffer;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd ready{in, POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(left.count())) <= 0) continue;
        const ssize_t got = read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return true;
        received.append(buffer.data(), static_cast<std::size_t>(got));
    }
}

// The notes on and off of a song, paired up by channel and pitch (a note off ends the earliest
// note of its pitch still sounding); notes never ended end with the song.
Song Pair(const std::vector<NoteEvent>& events) {
    Song song;
    std::vector<std::deque<double>> sounding(16 * 128);
    double end = 0;
    for (const NoteEvent& event : events) {
        if (event.channel == kSongEnd) {
            end = event.seconds;
            continue;
        }
        const int pitch = event.pitch & 0x7F;
        auto& starts = sounding[(event.channel & 0x0F) * 128 + pitch];
        if (event.on) {
            starts.push_back(event.seconds);
        } else if (!starts.empty()) {
            song.notes.push_back({starts.front(), event.seconds, pitch});
            starts.pop_front();
        }
    }
    for (std::size_t key = 0; key < sounding.size(); ++key)
        for (double start : sounding[key])
            song.notes.push_back({start, std::max(start, end), static_cast<int>(key % 128)});
    std::stable_sort(song.notes.begin(), song.notes.end(),
                     [](const SongNote& a, const SongNote& b) { return a.start < b.start; });
    return song;
}

std::string ReadBytes(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) throw LoadError(path, "файл не найден");
    if (!S_ISREG(status.st_mode)) throw LoadError(path, "это не обычный файл");
    if (static_cast<std::size_t>(status.st_size) > kMaxSongBytes)
        throw LoadError(path, "файл больше 16 МБ: это не песня");
    std::ifstream file(path, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (!file) throw LoadError(path, "файл не открывается");
    return bytes;
}

}  // namespace

Song ReadSong(const std::string& path) {
    const std::string bytes = ReadBytes(path);
    if (bytes.compare(0, 4, "MThd") != 0) throw LoadError(path, "это не файл MIDI");
    if (!WholeChunks(bytes)) throw LoadError(path, "файл обрезан");

    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) throw LoadError(path, "не хватает ресурсов системы");
    const pid_t child = fork();
    if (child == 0) ReadInChild(bytes, ends[1]);
    close(ends[1]);
    std::string received;
    const bool inTime = child > 0 && Collect(ends[0], Clock::now() + kReadLimit, received);
    close(ends[0]);
    if (child < 0) throw LoadError(path, "не хватает ресурсов системы");
    if (!inTime) kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!inTime) throw LoadError(path, "файл не прочитался за 5 секунд");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || received.size() % sizeof(NoteEvent))
        throw LoadError(path, "файл повреждён");

    std::vector<NoteEvent> events(received.size() / sizeof(NoteEvent));
    std::memcpy(events.data(), received.data(), received.size());
    Song song = Pair(events);
    if (song.notes.empty()) throw LoadError(path, "в файле нет нот");
    return song;
}

}  // namespace platform
