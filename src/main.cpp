#include <QApplication>
#include <QCommandLineParser>

#include "forms/form1.h"

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

}  // namespace

int main(int argc, char* argv[]) {
    AnswerCommandLine(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(kProgramName);
    QApplication::setApplicationVersion(QStringLiteral(TONARIUM_VERSION_STRING));
    // Lets desktops match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(TONARIUM_APP_ID));
    forms::Form1 form1;
    form1.Show();
    return QApplication::exec();
}
