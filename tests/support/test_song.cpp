#include "test_song.h"

#include "song_seeds.h"
#include "wav_fixtures.h"

namespace testing_support {

void WriteTestSong(const std::string& path) {
    using namespace fuzzing::smf;
    const std::string tempos = Track({{0, Tempo(500000)}, {960, Tempo(250000)}});
    std::vector<Event> notes;
    // Pulses from the start, the pitch, and the length in pulses.
    for (auto [at, pitch, length] : {std::tuple{0, 60, 240},
                                     {0, 64, 240},
                                     {0, 67, 240},
                                     {480, 36, 240},
                                     {960, 96, 120},
                                     {1200, 69, 240},
                                     {1440, 32, 480}}) {
        notes.push_back({static_cast<std::uint32_t>(at), NoteOn(0, pitch)});
        notes.push_back({static_cast<std::uint32_t>(at + length), NoteOff(0, pitch)});
    }
    WriteBytes(path, Header(1, 2, 480) + tempos + Track(notes));
}

void WriteLessonSong(const std::string& path) {
    using namespace fuzzing::smf;
    const auto hand = [](const std::string& name, int channel,
                         std::initializer_list<std::pair<int, int>> notes) {
        std::vector<Event> events{{0, Bytes({0xFF, 0x03, static_cast<int>(name.size())}) + name}};
        for (auto [at, pitch] : notes) {
            events.push_back({static_cast<std::uint32_t>(at), NoteOn(channel, pitch)});
            events.push_back({static_cast<std::uint32_t>(at + 192), NoteOff(channel, pitch)});
        }
        return Track(events);
    };
    WriteBytes(path, Header(1, 2, 480) +
                         hand("Правая рука", 0, {{480, 60}, {480, 64}, {960, 62}, {1440, 60}}) +
                         hand("Левая рука", 1, {{480, 48}, {720, 55}}));
}

std::vector<TestSongNote> TestSongNotes() {
    return {{0, 13}, {0, 17}, {0, 20}, {0.5, 1}, {1.0, 25}, {1.125, 22}, {1.25, 9}};
}

}  // namespace testing_support
