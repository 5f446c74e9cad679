#pragma once

#include <optional>

#include "platform/midi/midi.h"
#include "platform/sound/sound.h"

// What the program is asked for on its command line.
struct CommandLine {
    bool sound = true;  // --no-sound: no built-in sound, the keys still light up
    platform::SoundOutput soundOutput = platform::SoundOutput::kAny;  // --sound
    std::optional<platform::MidiKeyboard::Settings> midi;  // --midi, --channel, --velocity
};

// Reads the options. --help and --version are answered here, before the window system is
// touched, and end the process. So does whatever the program does not take (an unknown option, a
// missing value or one it cannot take, a stray argument, --channel or --velocity without --midi):
// one line names it, and the status is 2. Options of Qt's own (-platform ...) are left to Qt.
CommandLine ReadCommandLine(int argc, char* argv[]);
