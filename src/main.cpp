#include <QApplication>

#include "command_line.h"
#include "forms/form1.h"
#include "platform/keys/evdev_key_source.h"
#include "platform/keys/window_key_source.h"
#include "platform/keys/x11_key_source.h"
#include "platform/messages.h"
#include "platform/sound/openal_sound_device.h"
#include "runtime/end_signals.h"
#include "runtime/services.h"

namespace {

// Every key source that can be opened; the keyboard reader merges them. evdev sees the physical
// keyboards even under Wayland or on a console; X11 also sees keys that reach the X server by other
// roads (remote desktops, virtual keyboards); the window's own key events always count, since a
// background source may be blind to our own window (a native Wayland window, say).
dx::KeySources OpenKeySources(core::WindowHandle) {
    dx::KeySources sources;
    if (auto evdev = platform::EvdevKeySource::Open()) sources.push_back(std::move(evdev));
    if (auto x11 = platform::X11KeySource::Open()) sources.push_back(std::move(x11));
    if (sources.empty())
        platform::Say(
            "no keyboard can be read in the background (no X server, no readable /dev/input); "
            "keys play only while the window has the focus");
    sources.push_back(std::make_unique<platform::WindowKeySource>());
    return sources;
}

// The devices the program plays on: the system's default sound output and its keyboards, and
// the MIDI keyboard the keys also play when there is one.
dx::Backends SystemBackends(const CommandLine& options, platform::MidiKeyboard* midi) {
    dx::Backends backends;
    backends.openKeySources = OpenKeySources;
    if (options.sound)
        backends.openSoundDevice = [road = options.soundRoad] {
            return platform::OpenAlSoundDevice::OpenDefault(road);
        };
    if (midi)
        backends.keyWatcher = [midi](unsigned keyCode, bool down) { midi->Key(keyCode, down); };
    return backends;
}

}  // namespace

int main(int argc, char* argv[]) {
    platform::QuietLibraryLogging();
    const CommandLine options = ReadCommandLine(argc, argv);
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
    forms::Form1 form1(services, SystemBackends(options, midi.get()));
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
