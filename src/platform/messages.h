// SPDX-License-Identifier: MIT
#pragma once

#include <mutex>
#include <string>

namespace platform {

// The program's own lines on standard error: one line for each change a user started from a
// terminal should know of (the sound gone or back, a MIDI port lost or found, no keyboard to read),
// never the same line again while nothing changed. Any thread may say them.
void Say(const std::string& line);

// One subject's lines (the sound output, the MIDI port): a line is said only when it differs from
// the subject's last one, so a state tried again and again is told once.
class Subject {
  public:
    void Say(const std::string& line);

  private:
    std::mutex mutex_;
    std::string last_;
};

// The libraries' own logging, quieted before the program first calls them: OpenAL Soft, ALSA,
// JACK and PipeWire would otherwise print their complaint about a missing server or device on
// every retry. A user who asks for a library's log (ALSOFT_LOGLEVEL, PIPEWIRE_DEBUG) still gets it.
void QuietLibraryLogging();

}  // namespace platform
