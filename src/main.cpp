#include <QApplication>
#include <future>

#include "command_line.h"
#include "forms/form1.h"
#include "platform/keys/keys.h"
#include "platform/messages.h"
#include "platform/sound/sound.h"
#include "runtime/end_signals.h"
#include "runtime/services.h"

namespace {

using SoundOpening = std::future<std::unique_ptr<platform::SoundDevice>>;

// The devices the program plays on: the system's sound, its keyboards, and the MIDI keyboard the
// keys also play when there is one.
dx::Backends SystemBackends(SoundOpening& sound, platform::MidiKeyboard* midi) {
    dx::Backends backends;
    backends.openKeySources = [](core::WindowHandle) {
        return platform::OpenKeySources(QGuiApplication::platformName().toStdString());
    };
    if (sound.valid()) backends.openSoundDevice = [&sound] { return sound.get(); };
    if (midi)
        backends.keyWatcher = [midi](unsigned keyCode, bool down) { midi->Key(keyCode, down); };
    return backends;
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
    // Outlives the main window, whose keys it follows, and lets go of its notes as it goes.
    std::unique_ptr<platform::MidiKeyboard> midi;
    if (options.midi) {
        midi = std::make_unique<platform::MidiKeyboard>(
            *options.midi, [&services](const std::string& summary, const std::string& body) {
                services.Notify(QString::fromStdString(summary), QString::fromStdString(body));
            });
        // An error report ends the program without returning here.
        services.BeforeEnd([&midi] { midi->LetGo(); });
    }
    forms::Form1 form1(services, SystemBackends(sound, midi.get()));
    if (midi)
        form1.OnInstrumentChange([&midi](forms::Form1::Instrument instrument) {
            midi->SetProgram(instrument == forms::Form1::Instrument::kOrgan
                                 ? platform::MidiKeyboard::kReedOrgan
                                 : platform::MidiKeyboard::kPiano);
        });
    // Asked to end from outside, the program ends as «Выход» ends it.
    runtime::OnEndSignals([] { QApplication::closeAllWindows(); });
    form1.Show();
    return QApplication::exec();
}
