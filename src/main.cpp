#include <QApplication>

#include "forms/form1.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Тонариум"));
    forms::Form1 form1;
    form1.Show();
    return QApplication::exec();
}
