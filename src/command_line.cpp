#include "command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

namespace {

using MidiBackend = platform::MidiKeyboard::Backend;

[[noreturn]] void Refuse(const QCommandLineOption& option, const char* takes,
                         const QString& given) {
    std::fprintf(stderr, "Тонариум: --%s takes %s, not «%s»\n",
                 qPrintable(option.names().constFirst()), takes, qPrintable(given));
    std::exit(2);
}

int NumberFrom(const QCommandLineParser& parser, const QCommandLineOption& option, int low,
               int high, const char* takes, int unset) {
    if (!parser.isSet(option)) return unset;
    bool number = false;
    const int value = parser.value(option).toInt(&number);
    if (!number || value < low || value > high) Refuse(option, takes, parser.value(option));
    return value;
}

// --midi may stand alone or name its backend, which the parser cannot take: "--midi jack" becomes
// "--midi=jack", and a bare --midi "--midi=any".
QStringList WithMidiBackend(QStringList arguments) {
    for (qsizetype at = 1; at < arguments.size(); ++at) {
        if (arguments[at] != QStringLiteral("--midi")) continue;
        if (at + 1 < arguments.size() && !arguments[at + 1].startsWith('-'))
            arguments[at] += '=' + arguments.takeAt(at + 1);
        else
            arguments[at] += QStringLiteral("=any");
    }
    return arguments;
}

}  // namespace

CommandLine ReadCommandLine(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Тонариум"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TONARIUM_VERSION_STRING));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Клавиатура компьютера как музыкальная: 36 нот на трёх рядах клавиш."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption midi(
        QStringLiteral("midi"),
        QStringLiteral("Also send the notes played to a MIDI output port «Тонариум», on JACK "
                       "when a JACK server answers, else on the ALSA sequencer; the backend "
                       "(jack or alsa, optional) chooses one."),
        QStringLiteral("backend"));
    const QCommandLineOption channel(QStringLiteral("channel"),
                                     QStringLiteral("The MIDI channel, 1 to 16 (1)."),
                                     QStringLiteral("n"));
    const QCommandLineOption velocity(QStringLiteral("velocity"),
                                      QStringLiteral("The MIDI note velocity, 1 to 127 (100)."),
                                      QStringLiteral("n"));
    const QCommandLineOption noSound(
        QStringLiteral("no-sound"),
        QStringLiteral("Leave out the program's own sound (with --midi, say)."));
    const QCommandLineOption sound(
        QStringLiteral("sound"),
        QStringLiteral("Play through this road only: pipewire, pulse (PulseAudio) or openal "
                       "(OpenAL's own device: ALSA, JACK ...). Without it the first that answers, "
                       "in that order."),
        QStringLiteral("road"));
    parser.addOptions({midi, channel, velocity, noSound, sound});
    parser.parse(WithMidiBackend(QCoreApplication::arguments()));
    if (parser.isSet(help)) parser.showHelp();
    if (parser.isSet(version)) parser.showVersion();

    CommandLine options;
    options.sound = !parser.isSet(noSound);
    if (parser.isSet(sound)) {
        using SoundRoad = platform::OpenAlSoundDevice::Road;
        const QString road = parser.value(sound);
        if (road == QStringLiteral("pipewire"))
            options.soundRoad = SoundRoad::kPipeWire;
        else if (road == QStringLiteral("pulse"))
            options.soundRoad = SoundRoad::kPulse;
        else if (road == QStringLiteral("openal"))
            options.soundRoad = SoundRoad::kOpenAl;
        else
            Refuse(sound, "pipewire, pulse or openal", road);
    }
    platform::MidiKeyboard::Settings settings;
    settings.channel =
        NumberFrom(parser, channel, 1, 16, "a channel from 1 to 16", settings.channel);
    settings.velocity =
        NumberFrom(parser, velocity, 1, 127, "a velocity from 1 to 127", settings.velocity);
    if (parser.isSet(midi)) {
        const QString backend = parser.value(midi);
        if (backend == QStringLiteral("jack"))
            settings.backend = MidiBackend::kJack;
        else if (backend == QStringLiteral("alsa"))
            settings.backend = MidiBackend::kAlsa;
        else if (backend != QStringLiteral("any"))
            Refuse(midi, "jack or alsa, or nothing", backend);
        options.midi = settings;
    }
    return options;
}
