// Every song seed and every committed song finding, read once more in the ordinary builds: a song
// is read as it was written or refused with the reason the user is shown, never anything worse.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "core/run_time_error.h"
#include "music/song.h"
#include "song_seeds.h"
#include "wav_fixtures.h"

namespace {

TEST(SongInputs, SongsReadAsWrittenBrokenOnesRefusedWithTheirReason) {
    const std::map<std::string, std::string> reasons = {
        {"empty.mid", "это не файл MIDI"},           {"not_midi.mid", "это не файл MIDI"},
        {"track_cut.mid", "файл обрезан"},           {"format2.mid", "файл повреждён"},
        {"track_without_end.mid", "файл повреждён"}, {"header_only.mid", "в файле нет нот"}};
    testing_support::TempDir dir;
    int refused = 0;
    for (const fuzzing::SongSeed& seed : fuzzing::SongSeeds()) {
        const std::string path = dir.file(seed.name);
        testing_support::WriteBytes(path, seed.bytes);
        try {
            const music::Song song = music::ReadSong(path, TONARIUM_SONG_READER);
            if (seed.notes > 0) {
                EXPECT_EQ(song.notes.size(), static_cast<std::size_t>(seed.notes)) << seed.name;
            }
            EXPECT_FALSE(reasons.contains(seed.name)) << seed.name << " must be refused";
        } catch (const core::LoadError& error) {
            EXPECT_EQ(seed.notes, 0) << seed.name << ": " << error.reason();
            if (reasons.contains(seed.name)) {
                EXPECT_EQ(error.reason(), reasons.at(seed.name));
            }
            ++refused;
        }
    }
    EXPECT_GE(refused, 10);
}

TEST(SongInputs, CommittedFuzzerFindingsStayMended) {
    for (const auto& entry : std::filesystem::directory_iterator(TONARIUM_FUZZ_REGRESSIONS)) {
        if (entry.path().extension() != ".mid") continue;
        try {
            music::ReadSong(entry.path().string(), TONARIUM_SONG_READER);
        } catch (const core::LoadError&) {
        }
    }
}

}  // namespace
