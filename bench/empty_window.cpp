// SPDX-License-Identifier: MIT
// The baseline for the start-up figures: an empty Qt Widgets window of the main window's size.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("empty"));
    window.setFixedSize(436, 264);
    window.show();
    return QApplication::exec();
}
