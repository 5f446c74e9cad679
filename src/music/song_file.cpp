// SPDX-License-Identifier: MIT
// Song files: checked here, read by libsmf in a process of its own (song_reader.cpp), which hands
// the notes over through a pipe, so that whatever a file does to the library ends there and the
// program reports the file as damaged.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "core/note_map.h"
#include "core/run_time_error.h"
#include "music/notes.h"
#include "music/song.h"
#include "music/song_events.h"

namespace music {

namespace {

using core::LoadError;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxSongBytes = 16 << 20;
constexpr auto kReadLimit = std::chrono::seconds(5);

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

// What the reader sent, until it closes the pipe or the time is up; false when the time ran out.
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

// The notes on and off of a song, paired up by part (track and channel) and pitch: a note off
// ends the earliest note of its pitch still sounding; notes never ended end with the song.
Song Pair(const std::vector<SongEvent>& events, double end) {
    Song song;
    std::map<std::pair<int, int>, int> parts;  // by track and channel: the part's first-seen index
    std::map<std::pair<int, int>, std::deque<double>> sounding;  // by that index and pitch
    for (const SongEvent& event : events) {
        const int part =
            parts.try_emplace({event.track, event.channel & 0x0F}, parts.size()).first->second;
        const int pitch = event.pitch & 0x7F;
        auto& starts = sounding[{part, pitch}];
        if (event.on) {
            starts.push_back(event.seconds);
        } else if (!starts.empty()) {
            song.notes.push_back({starts.front(), event.seconds, pitch, part});
            starts.pop_front();
        }
    }
    for (const auto& [partAndPitch, starts] : sounding)
        for (double start : starts)
            song.notes.push_back(
                {start, std::max(start, end), partAndPitch.second, partAndPitch.first});
    std::stable_sort(song.notes.begin(), song.notes.end(),
                     [](const SongNote& a, const SongNote& b) { return a.start < b.start; });
    // The parts in order of track and channel, and the notes pointed at them.
    std::vector<int> ordered(parts.size());
    for (const auto& [trackAndChannel, part] : parts) {
        ordered[part] = static_cast<int>(song.parts.size());
        song.parts.push_back({trackAndChannel.first, trackAndChannel.second, ""});
    }
    song.length = end;
    for (SongNote& note : song.notes) {
        note.part = ordered[note.part];
        SongPart& part = song.parts[note.part];
        ++part.notes;
        if (note.pitch >= MidiNumber(1) && note.pitch <= MidiNumber(core::kNoteCount))
            ++part.notesOnKeys;
        song.length = std::max(song.length, note.end);
    }
    return song;
}

// The track names after the end: "track\tname" a line each.
void Name(Song& song, const std::string& lines) {
    std::istringstream in(lines);
    for (std::string line; std::getline(in, line);) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        const int track = std::atoi(line.c_str());
        for (SongPart& part : song.parts)
            if (part.track == track) part.name = line.substr(tab + 1);
    }
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

int Song::LikelyPart() const {
    int likely = 0;
    for (std::size_t part = 1; part < parts.size(); ++part)
        if (parts[part].notesOnKeys > parts[likely].notesOnKeys) likely = static_cast<int>(part);
    return likely;
}

Song ReadSong(const std::string& path, const std::string& reader) {
    const std::string bytes = ReadBytes(path);
    if (bytes.compare(0, 4, "MThd") != 0) throw LoadError(path, "это не файл MIDI");
    if (!WholeChunks(bytes)) throw LoadError(path, "файл обрезан");

    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) throw LoadError(path, "не хватает ресурсов системы");
    // The reader's standard output is the pipe; what libsmf complains of goes nowhere.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const char* const arguments[] = {reader.c_str(), path.c_str(), nullptr};
    pid_t child = -1;
    if (posix_spawn(&child, reader.c_str(), &actions, nullptr, const_cast<char* const*>(arguments),
                    environ) != 0)
        child = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
    std::string received;
    const bool inTime = child > 0 && Collect(ends[0], Clock::now() + kReadLimit, received);
    close(ends[0]);
    if (child < 0) throw LoadError(path, "программа чтения песен не запускается");
    if (!inTime) kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!inTime) throw LoadError(path, "файл не прочитался за 5 секунд");
    // The events, up to the end, then the names.
    std::vector<SongEvent> events;
    std::size_t at = 0;
    for (SongEvent event; at + sizeof event <= received.size(); at += sizeof event) {
        std::memcpy(&event, received.data() + at, sizeof event);
        if (event.channel == kSongEnd) break;
        events.push_back(event);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || at + sizeof(SongEvent) > received.size())
        throw LoadError(path, "файл повреждён");
    double end = 0;
    std::memcpy(&end, received.data() + at + offsetof(SongEvent, seconds), sizeof end);
    Song song = Pair(events, end);
    if (song.notes.empty()) throw LoadError(path, "в файле нет нот");
    Name(song, received.substr(at + sizeof(SongEvent)));
    const std::size_t slash = path.find_last_of('/') + 1, dot = path.find_last_of('.');
    song.name = path.substr(
        slash, dot > slash && dot != std::string::npos ? dot - slash : std::string::npos);
    return song;
}

}  // namespace music
