// Saves a picture of one X11 window, for the README's screenshot.
//   tonarium_grab_window <window id> <output.png>

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <window id> <output.png>\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    bool isNumber = false;
    const WId window = QString::fromLocal8Bit(argv[1]).toULongLong(&isNumber, 0);
    const QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(window);
    if (!isNumber || picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "cannot grab window %s into %s\n", argv[1], argv[2]);
        return 1;
    }
    return 0;
}
