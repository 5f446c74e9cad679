// SPDX-License-Identifier: MIT
// Every song seed and every committed song finding, read once more in the ordinary builds: a song
// is read as it was written or refused with the reason the user is shown, never anything worse.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>

#include "core/run_time_error.h"
#include "input_files.h"
#include "music/song.h"

namespace {

using testing_support::InputFiles;

const std::filesystem::path kSeeds = TONARIUM_FUZZ_SEEDS;

music::Song Read(const std::filesystem::path& file) {
    return music::ReadSong(file.string(), TONARIUM_SONG_READER);
}

// The well-formed ones are named after their notes, ending in _<notes>_notes.mid.
TEST(SongInputs, SongsReadAsWrittenBrokenOnesRefusedWithTheirReason) {
    const std::regex notes(R"(_(\d+)_notes\.mid$)");
    const auto songs = InputFiles(kSeeds / "mid", ".mid");
    ASSERT_FALSE(songs.empty()) << "no seeds in " << kSeeds / "mid";
    for (const auto& file : songs) {
        const std::string name = file.filename().string();
        std::smatch match;
        ASSERT_TRUE(std::regex_search(name, match, notes)) << name << " names no notes";
        try {
            EXPECT_EQ(Read(file).notes.size(), std::stoul(match[1])) << name;
        } catch (const core::LoadError& error) {
            ADD_FAILURE() << name << " refused: " << error.reason();
        }
    }

    const std::map<std::string, std::string> reasons = {
        {"empty.mid", "это не файл MIDI"},           {"not_midi.mid", "это не файл MIDI"},
        {"track_cut.mid", "файл обрезан"},           {"format2.mid", "файл повреждён"},
        {"track_without_end.mid", "файл повреждён"}, {"header_only.mid", "в файле нет нот"}};
    const auto broken = InputFiles(kSeeds / "mid_broken", ".mid");
    std::size_t refused = 0, named = 0;
    for (const auto& file : broken) {
        const std::string name = file.filename().string();
        std::string reason;  // none when it was read
        try {
            Read(file);
        } catch (const core::LoadError& error) {
            reason = error.reason();
            ++refused;
        }
        if (!reasons.contains(name)) continue;
        EXPECT_EQ(reason, reasons.at(name)) << name;
        ++named;
    }
    EXPECT_EQ(named, reasons.size()) << "a seed named above is missing from " << kSeeds;
    EXPECT_GE(refused, 10u);
}

// Each once aborted libsmf (see the README beside them): refused or read, and in time.
TEST(SongInputs, CommittedFuzzerFindingsStayMended) {
    const auto files = InputFiles(TONARIUM_FUZZ_REGRESSIONS, ".mid");
    ASSERT_FALSE(files.empty()) << "no song findings in " << TONARIUM_FUZZ_REGRESSIONS;
    for (const auto& file : files) {
        try {
            Read(file);
        } catch (const core::LoadError& error) {
            EXPECT_NE(error.reason(), "файл не прочитался за 5 секунд")
                << file << ": the reader hung";
        }
    }
}

}  // namespace
