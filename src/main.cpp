#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

#include "forms/form1.h"
#include "platform/evdev_key_source.h"
#include "platform/openal_sound_device.h"
#include "platform/window_key_source.h"
#include "platform/x11_key_source.h"
#include "runtime/services.h"

namespace {

const QString kProgramName = QStringLiteral("Тонариум");

// --help and --version are answered before the window system is touched, so they work without
// a display too; they end the process. Other options are left to Qt (-platform and the like).
void AnswerCommandLine(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(kProgramName);
    QCoreApplication::setApplicationVersion(QStringLiteral(TONARIUM_VERSION_STRING));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Клавиатура компьютера как музыкальная: 36 нот на трёх рядах клавиш."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(help)) parser.showHelp();
    if (parser.isSet(version)) parser.showVersion();
}

// Every key source that can be opened; the keyboard reader merges them. evdev sees the physical
// keyboards even under Wayland or on a console; X11 also sees keys that reach the X server by other
// roads (remote desktops, virtual keyboards); the window's own key events always count, since a
// background source may be blind to our own window (a native Wayland window, say).
dx::KeySources OpenKeySources(core::WindowHandle) {
    dx::KeySources sources;
    if (auto evdev = platform::EvdevKeySource::Open()) sources.push_back(std::move(evdev));
    if (auto x11 = platform::X11KeySource::Open()) sources.push_back(std::move(x11));
    if (sources.empty())
        std::fputs(
            "Тонариум: no keyboard can be read in the background (no X server, no readable "
            "/dev/input); keys play only while the window has the focus\n",
            stderr);
    sources.push_back(std::make_unique<platform::WindowKeySource>());
    return sources;
}

// The devices the program plays on: the system's default sound output and its keyboards.
dx::Backends SystemBackends() {
    return dx::Backends{
        .openSoundDevice = [] { return platform::OpenAlSoundDevice::OpenDefault(); },
        .openKeySources = OpenKeySources,
    };
}

}  // namespace

int main(int argc, char* argv[]) {
    AnswerCommandLine(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(kProgramName);
    QApplication::setApplicationVersion(QStringLiteral(TONARIUM_VERSION_STRING));
    // Lets desktops match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(TONARIUM_APP_ID));
    runtime::Services services(runtime::Services::Desktop());
    forms::Form1 form1(services, SystemBackends());
    form1.Show();
    return QApplication::exec();
}
