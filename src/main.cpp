#include <QApplication>

#include "forms/form1.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Тонариум"));
    // Lets desktops match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(TONARIUM_APP_ID));
    forms::Form1 form1;
    form1.Show();
    return QApplication::exec();
}
