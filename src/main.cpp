// SPDX-License-Identifier: MIT
#include <unistd.h>

#include <QApplication>
#include <future>
#include <optional>

#include "command_line.h"
#include "core/run_time_error.h"
#include "forms/form1.h"
#include "forms/song_window.h"
#include "music/midi_keyboard.h"
#include "music/notes.h"
#include "music/recording.h"
#include "music/song_player.h"
#include "platform/keys/keys.h"
#include "platform/messages.h"
#include "platform/sound/sound.h"
#include "runtime/end_signals.h"
#include "runtime/services.h"

namespace {

using SoundOpening = std::future<std::unique_ptr<platform::SoundDevice>>;

// The devices the program plays on: the system's sound, and its keyboards with the program's own
// key sources beside them (the song player, a MIDI instrument), all reporting into one record of
// presses.
dx::Backends SystemBackends(SoundOpening& sound, std::function<platform::KeySources()> own,
                            std::shared_ptr<platform::KeyPresses> keys) {
    dx::Backends backends;
    backends.openKeySources = [own = std::move(own)](core::WindowHandle) {
        platform::KeySources sources =
            platform::OpenKeySources(QGuiApplication::platformName().toStdString());
        for (auto& source : own()) sources.push_back(std::move(source));
        return sources;
    };
    if (sound.valid()) backends.openSoundDevice = [&sound] { return sound.get(); };
    backends.keys = std::move(keys);
    return backends;
}

// Where the recording goes, told at the start: on standard error, and on the desktop when there
// is no terminal to read it on (the program started from the menu).
void TellRecording(const runtime::Services& services, const std::string& path) {
    platform::Say("recording what is played into «" + path + "», written as the program ends");
    if (!isatty(STDERR_FILENO))
        services.Notify(QStringLiteral("Тонариум записывает игру"),
                        QStringLiteral("Сыгранное будет записано при выходе из программы в файл "
                                       "«%1».")
                            .arg(QString::fromStdString(path)));
}

}  // namespace

int main(int argc, char* argv[]) {
    platform::QuietLibraryLogging();
    const CommandLine options = ReadCommandLine(argc, argv);
    // The mixer is made while Qt starts: it needs nothing of Qt's, and takes milliseconds.
    SoundOpening sound;
    if (options.sound)
        sound = std::async(std::launch::async, platform::OpenSystemSound, options.soundOutput);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Тонариум"));
    QApplication::setApplicationVersion(QStringLiteral(TONARIUM_VERSION_STRING));
    // Lets desktops match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(TONARIUM_APP_ID));
    runtime::Services services(runtime::Services::Desktop());

    // What the keys and the songs press, and the notes that follow from it (music/notes.h).
    auto keys = std::make_shared<platform::KeyPresses>();
    music::Notes notes(*keys, music::Clock::now);
    // Outlives the main window, whose keys it follows, and lets go of its notes as it goes.
    std::unique_ptr<music::MidiKeyboard> midi;
    if (options.midi) {
        midi = std::make_unique<music::MidiKeyboard>(
            *options.midi, options.voicing,
            [&services](const std::string& summary, const std::string& body) {
                services.Notify(QString::fromStdString(summary), QString::fromStdString(body));
            },
            [connect = options.midiConnect](platform::MidiBackend& backend, std::string& failure) {
                return platform::OpenMidiPort(backend, connect, failure);
            });
        notes.Listen([&midi](const music::NoteEvent& note) { midi->Play(note); });
        // An error report ends the program without returning here.
        services.BeforeEnd([&midi] { midi->LetGo(); });
    }
    std::optional<music::Recording> recording;
    if (options.record) {
        recording.emplace(*options.record, options.voicing, music::Clock::now);
        recording->SetProgram(music::kPianoProgram);
        notes.Listen([&recording](const music::NoteEvent& note) { recording->Play(note); });
        services.BeforeEnd([&recording] { recording->Write(); });
        TellRecording(services, *options.record);
    }
    // Outlives the main window, whose record of presses plays its songs; in practice it hears
    // the notes played and marks the keys to press.
    music::SongPlayer songs(services.AppPath() + "/" + music::kSongReader, music::Clock::now);
    songs.Change({.practice = options.practice, .part = std::nullopt, .tempo = options.tempo});
    notes.Listen([&songs](const music::NoteEvent& note) { songs.Hear(note); });
    const auto ownSources = [&songs, &midi] {
        platform::KeySources sources;
        sources.push_back(songs.Source());
        if (midi) sources.push_back(midi->Source());
        return sources;
    };
    forms::Form1 form1(services, SystemBackends(sound, ownSources, keys));
    songs.OnMarks([&form1](const music::NoteKeys& keys) { form1.Mark(keys); });
    forms::SongWindow songWindow(services, songs, form1);
    form1.OnInstrumentChange([&midi, &recording](core::Instrument instrument) {
        if (midi) midi->SetProgram(music::ProgramOf(instrument));
        if (recording) recording->SetProgram(music::ProgramOf(instrument));
    });
    // A program change that comes in chooses the instrument as the option buttons do.
    if (midi)
        midi->OnProgram([&form1, &services](std::uint8_t program) {
            if (const auto instrument = music::InstrumentOfProgram(program))
                services.Guard([&] { form1.Choose(*instrument); });
        });
    // A song that cannot be read is told, and the one playing plays on.
    const auto openSong = [&songs, &services](const std::string& path) {
        songs.Open(path, [&services](const core::LoadError& error) {
            services.Guard([&] { services.MsgBox(QString::fromStdString(error.description())); });
        });
    };
    form1.OnFileDrop(openSong);
    form1.OnEscape([&songs] { songs.Stop(); });
    // Asked to end from outside, the program ends as «Выход» ends it.
    runtime::OnEndSignals([] { QApplication::closeAllWindows(); });
    form1.Show();
    if (!options.song.empty()) openSong(options.song);
    const int status = QApplication::exec();
    if (recording) recording->Write();
    return status;
}
