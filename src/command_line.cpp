// SPDX-License-Identifier: MIT
#include "command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

using platform::MidiBackend;

[[noreturn]] void Refuse(const QString& why) {
    std::fprintf(stderr, "Тонариум: %s\n", qPrintable(why));
    std::exit(2);
}

[[noreturn]] void Refuse(const QCommandLineOption& option, const char* takes,
                         const QString& given) {
    Refuse(QStringLiteral("--%1 takes %2, not «%3»")
               .arg(option.names().constFirst(), QString::fromUtf8(takes), given));
}

// Qt's own options, which QApplication takes from the command line later (either dash form):
// those that take a value, and those that do not.
const QStringList kQtOptionsWithValue = {"platform",      "platformpluginpath",
                                         "platformtheme", "plugin",
                                         "qmljsdebugger", "qwindowgeometry",
                                         "qwindowicon",   "qwindowtitle",
                                         "session",       "display",
                                         "geometry",      "style",
                                         "stylesheet",    "name",
                                         "title"};
const QStringList kQtFlags = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

QStringList WithoutQtOptions(QStringList arguments) {
    for (qsizetype at = 1; at < arguments.size();) {
        const QString& argument = arguments[at];
        const QString name = argument.startsWith("--")  ? argument.mid(2)
                             : argument.startsWith('-') ? argument.mid(1)
                                                        : QString();
        const qsizetype taken = kQtOptionsWithValue.contains(name) ? 2
                                : kQtFlags.contains(name)          ? 1
                                                                   : 0;
        if (taken == 0)
            ++at;
        else
            arguments.remove(at, std::min(taken, arguments.size() - at));
    }
    return arguments;
}

int NumberFrom(const QCommandLineParser& parser, const QCommandLineOption& option, int low,
               int high, const char* takes, int unset) {
    if (!parser.isSet(option)) return unset;
    bool number = false;
    const int value = parser.value(option).toInt(&number);
    if (!number || value < low || value > high) Refuse(option, takes, parser.value(option));
    return value;
}

bool NamesASong(const QString& word) {
    return QFileInfo::exists(word) || word.endsWith(QStringLiteral(".mid"), Qt::CaseInsensitive) ||
           word.endsWith(QStringLiteral(".midi"), Qt::CaseInsensitive);
}

// --midi and --record may stand alone or take the next word, which the parser cannot take:
// "--midi jack" becomes "--midi=jack", a bare --midi "--midi=any" and a bare --record
// "--record=". A word that is a song is left as the song: a file that exists is never
// recorded over, and a backend never ends in .mid.
QStringList WithOptionalValues(QStringList arguments) {
    for (qsizetype at = 1; at < arguments.size(); ++at) {
        const bool midi = arguments[at] == QStringLiteral("--midi");
        if (!midi && arguments[at] != QStringLiteral("--record")) continue;
        const bool takesNext =
            at + 1 < arguments.size() && !arguments[at + 1].startsWith('-') &&
            !(midi ? NamesASong(arguments[at + 1]) : QFileInfo::exists(arguments[at + 1]));
        if (takesNext)
            arguments[at] += '=' + arguments.takeAt(at + 1);
        else
            arguments[at] += midi ? QStringLiteral("=any") : QStringLiteral("=");
    }
    return arguments;
}

// The file a recording goes to: the one named, or one named by the time now in the folder named,
// in the user's music folder or else the home folder.
std::string RecordingPath(const QCommandLineOption& option, const QString& given) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (!QFileInfo(folder).isDir()) folder = QDir::homePath();
    QFileInfo file(given.isEmpty() ? folder : given);
    if (file.isDir())
        file.setFile(QDir(file.filePath()), QDateTime::currentDateTime().toString(QStringLiteral(
                                                "'Тонариум' yyyy-MM-dd HH-mm-ss'.mid'")));
    const QFileInfo into(file.absolutePath());
    if (!into.isDir() || !into.isWritable())
        Refuse(option, "a file in a folder that can be written", given);
    return QFile::encodeName(file.absoluteFilePath()).toStdString();
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
        QStringLiteral("Also send the notes played to a MIDI output port «Тонариум», and play "
                       "what comes in on an input port beside it, on JACK when a JACK server "
                       "answers, else on the ALSA sequencer; the backend (jack or alsa, "
                       "optional) chooses one."),
        QStringLiteral("backend"));
    const QCommandLineOption midiConnect(
        QStringLiteral("midi-connect"),
        QStringLiteral("What the MIDI input connects by itself: devices (the system's MIDI "
                       "keyboards, as they come; the default) or none (leave it to the "
                       "patchbay)."),
        QStringLiteral("what"));
    const QCommandLineOption channel(
        QStringLiteral("channel"),
        QStringLiteral("The MIDI channel of the notes sent and recorded, 1 to 16 (1)."),
        QStringLiteral("n"));
    const QCommandLineOption velocity(
        QStringLiteral("velocity"),
        QStringLiteral("The velocity of the notes sent and recorded, 1 to 127 (100)."),
        QStringLiteral("n"));
    const QCommandLineOption noSound(
        QStringLiteral("no-sound"),
        QStringLiteral("Leave out the program's own sound (with --midi, say)."));
    const QCommandLineOption sound(
        QStringLiteral("sound"),
        QStringLiteral("Play through this output only: pipewire, pulse (PulseAudio) or alsa "
                       "(ALSA's default device). Without it the best that answers, in that "
                       "order."),
        QStringLiteral("output"));
    const QCommandLineOption record(
        QStringLiteral("record"),
        QStringLiteral("Record what is played into a MIDI file (optional; a folder takes a file "
                       "named by the time), written as the program ends. Without it, into the "
                       "music folder, else the home folder: «Тонариум YYYY-MM-DD HH-MM-SS.mid»."),
        QStringLiteral("file"));
    const QCommandLineOption practice(
        QStringLiteral("practice"),
        QStringLiteral("Practise the song: it waits on each chord of your part until you have "
                       "pressed its keys, marked on the keyboard, and scores you."),
        QStringLiteral("song"));
    const QCommandLineOption tempo(
        QStringLiteral("tempo"),
        QStringLiteral("The song's tempo, 25 to 200 percent of its own (100)."),
        QStringLiteral("percent"));
    parser.addOptions(
        {midi, midiConnect, channel, velocity, noSound, sound, record, practice, tempo});
    parser.addPositionalArgument(QStringLiteral("song"),
                                 QStringLiteral("A MIDI file (.mid) to play on the keyboard."),
                                 QStringLiteral("[song.mid]"));
    if (!parser.parse(WithOptionalValues(WithoutQtOptions(QCoreApplication::arguments()))))
        Refuse(parser.errorText() + " See tonarium --help.");
    if (parser.isSet(help)) parser.showHelp();
    if (parser.isSet(version)) parser.showVersion();
    const QStringList words = parser.positionalArguments();
    for (const QString& word : words)
        if (!NamesASong(word))
            Refuse(QStringLiteral("«%1» is not an option. See tonarium --help.").arg(word));
    QStringList songs = words;
    if (parser.isSet(practice)) songs.prepend(parser.value(practice));
    if (songs.size() > 1)
        Refuse(QStringLiteral("one song at a time: «%1» is a second one").arg(songs[1]));
    if (parser.isSet(midiConnect) && !parser.isSet(midi))
        Refuse(QStringLiteral("--midi-connect goes with --midi"));
    for (const QCommandLineOption& midiOnly : {channel, velocity})
        if (parser.isSet(midiOnly) && !parser.isSet(midi) && !parser.isSet(record))
            Refuse(QStringLiteral("--%1 goes with --midi or --record")
                       .arg(midiOnly.names().constFirst()));

    CommandLine options;
    options.sound = !parser.isSet(noSound);
    if (!songs.isEmpty()) options.song = QFile::encodeName(songs.constFirst()).toStdString();
    options.practice = parser.isSet(practice);
    options.tempo = NumberFrom(parser, tempo, 25, 200, "a percentage from 25 to 200", 100);
    if (parser.isSet(record)) options.record = RecordingPath(record, parser.value(record));
    if (parser.isSet(sound)) {
        using platform::SoundOutput;
        const QString name = parser.value(sound);
        for (SoundOutput output : {SoundOutput::kPipeWire, SoundOutput::kPulse, SoundOutput::kAlsa})
            if (name == QLatin1String(platform::OutputName(output))) options.soundOutput = output;
        if (options.soundOutput == SoundOutput::kAny)
            Refuse(sound, "pipewire, pulse or alsa", name);
    }
    music::MidiVoicing& voicing = options.voicing;
    voicing.channel = NumberFrom(parser, channel, 1, 16, "a channel from 1 to 16", voicing.channel);
    voicing.velocity =
        NumberFrom(parser, velocity, 1, 127, "a velocity from 1 to 127", voicing.velocity);
    if (parser.isSet(midiConnect)) {
        const QString what = parser.value(midiConnect);
        if (what == QStringLiteral("none"))
            options.midiConnect = platform::MidiConnect::kNone;
        else if (what != QStringLiteral("devices"))
            Refuse(midiConnect, "devices or none", what);
    }
    if (parser.isSet(midi)) {
        const QString backend = parser.value(midi);
        if (backend == QStringLiteral("jack"))
            options.midi = MidiBackend::kJack;
        else if (backend == QStringLiteral("alsa"))
            options.midi = MidiBackend::kAlsa;
        else if (backend == QStringLiteral("any"))
            options.midi = MidiBackend::kAny;
        else
            Refuse(midi, "jack or alsa, or nothing", backend);
    }
    return options;
}
