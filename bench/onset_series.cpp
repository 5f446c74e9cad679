// SPDX-License-Identifier: MIT
#include "onset_series.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <thread>

#include "core/note_map.h"
#include "percentiles.h"
#include "wav_fixtures.h"

// Xlib last: its macros clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace bench {

using namespace std::chrono_literals;
using testing_support::NoteFrequency;
using testing_support::ToneSpec;

void WriteShortNotes(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder / "wav/piano");
    testing_support::WriteToneWav((folder / "wav/piano/0.wav").string(),
                                  ToneSpec{.seconds = 0.1, .amplitude = 0});
    for (int note = 1; note <= core::kNoteCount; ++note)
        testing_support::WriteToneWav(
            (folder / "wav/piano" / (std::to_string(note) + ".wav")).string(),
            ToneSpec{.frequency = NoteFrequency(note), .seconds = 0.06});
}

std::chrono::steady_clock::time_point PressKey(Display* display, int note) {
    const int keyCode = core::NoteMap[(note - 1) % core::kNoteCount].keyCode + 8;
    const auto down = std::chrono::steady_clock::now();
    XTestFakeKeyEvent(display, keyCode, True, CurrentTime);
    XFlush(display);
    std::this_thread::sleep_for(40ms);
    XTestFakeKeyEvent(display, keyCode, False, CurrentTime);
    XFlush(display);
    return down;
}

Series Onsets(const std::vector<Event>& events, int series,
              const testing_support::HeardSound& recorder) {
    Series result;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i].series != series) continue;
        const auto at = events[i].at;
        const auto until = i + 1 < events.size() ? events[i + 1].at : at + 1s;
        const auto sinceEvent = [at](std::chrono::steady_clock::time_point t) {
            return std::chrono::duration<double, std::milli>(t - at).count();
        };
        if (const auto heard = recorder.FirstSoundAfter(at, until)) {
            result.ms.push_back(sinceEvent(*heard));
            continue;
        }
        ++result.missed;
        const auto later = recorder.FirstSoundAfter(at, at + 1s);
        char miss[80];
        std::snprintf(
            miss, sizeof miss, " #%zu at %.1f s (next sound: %s)", i,
            std::chrono::duration<double>(at - events[0].at).count(),
            later ? (std::to_string(std::lround(sinceEvent(*later))) + " ms").c_str() : "none");
        result.misses += miss;
    }
    return result;
}

std::string Describe(const Series& series) {
    if (series.ms.empty()) return "nothing heard";
    return MedianP95Max(series.ms) + "  (" + std::to_string(series.ms.size()) + " heard, " +
           std::to_string(series.missed) + " missed)";
}

std::string Overhead(const Series& series, const Series& reference) {
    if (series.ms.empty() || reference.ms.empty()) return {};
    const double base = Percentile(reference.ms, 0.5);
    char text[120];
    std::snprintf(text, sizeof text, "median %+5.1f  p95 %+5.1f  max %+5.1f ms",
                  Percentile(series.ms, 0.5) - base, Percentile(series.ms, 0.95) - base,
                  *std::max_element(series.ms.begin(), series.ms.end()) - base);
    return text;
}

}  // namespace bench
