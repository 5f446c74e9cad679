// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>

#include "music/notes.h"
#include "platform/midi/midi.h"
#include "platform/sound/sound.h"

// What the program is asked for on its command line.
struct CommandLine {
    bool sound = true;  // --no-sound: no built-in sound, the keys still light up
    platform::SoundOutput soundOutput = platform::SoundOutput::kAny;      // --sound
    std::optional<platform::MidiBackend> midi;                            // --midi [backend]
    platform::MidiConnect midiConnect = platform::MidiConnect::kDevices;  // --midi-connect
    music::MidiVoicing voicing;  // --channel, --velocity: MIDI out and recording
    std::string song;            // the song to play, if any
    bool practice = false;       // --practice SONG: the song waits for the player
    int tempo = 100;             // --tempo: percent of the song's own
    // --record [FILE]: where the recording goes, an absolute path; by default the user's music
    // folder (else the home folder), named by the time the program started.
    std::optional<std::string> record;
};

// Reads the options. --help and --version are answered here, before the window system is
// touched, and end the process. So does whatever the program does not take (an unknown option, a
// missing value or one it cannot take, a stray argument or a second song, --channel or --velocity
// without --midi, a recording into a folder that cannot be written): one line names it, and the
// status is 2. Options of Qt's own (-platform ...) are left to Qt. A word that names a file that
// exists, or ends in .mid, is the song.
CommandLine ReadCommandLine(int argc, char* argv[]);
