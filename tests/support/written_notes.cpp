// SPDX-License-Identifier: MIT
#include "written_notes.h"

#include <cstring>  // before allegro.h, which needs it
// portSMF.
#include <allegro.h>

// portSMF frees with delete what it made with new[] as it unloads.
extern "C" const char* __asan_default_options() {
    return "alloc_dealloc_mismatch=0";
}

namespace testing_support {

std::vector<WrittenNote> ReadWrittenNotes(const std::string& path, std::string* error) {
    Alg_seq read(path.c_str(), true);
    if (read.get_read_error() != alg_no_error) {
        if (error) *error = "portSMF cannot read «" + path + "»";
        return {};
    }
    read.convert_to_seconds();
    std::vector<WrittenNote> notes;
    for (int track = 0; track < read.tracks(); ++track)
        for (int i = 0; i < read.track(track)->length(); ++i)
            if (Alg_event* event = (*read.track(track))[i]; event->is_note()) {
                auto* note = static_cast<Alg_note*>(event);
                notes.push_back({note->time, note->dur, static_cast<int>(note->get_identifier()),
                                 static_cast<int>(note->chan), static_cast<int>(note->loud)});
            }
    return notes;
}

}  // namespace testing_support
