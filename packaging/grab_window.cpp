// SPDX-License-Identifier: MIT
// Saves a picture of one X11 window, or of parts of the screen side by side, for the README's
// pictures.
//   tonarium_grab_window <window id> <output.png>
//   tonarium_grab_window <x>,<y>,<width>,<height> [...] <output.png>
// Parts of the screen are put together as they lie on it, on the window colour.

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <vector>

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <window id> | <x>,<y>,<width>,<height>... <output.png>\n",
                     argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    QScreen& screen = *QGuiApplication::primaryScreen();
    bool understood = true;
    QPixmap picture;
    std::vector<QRect> parts;
    for (int arg = 1; arg < argc - 1 && understood; ++arg) {
        const QStringList numbers = QString::fromLocal8Bit(argv[arg]).split(',');
        understood = numbers.size() == 4;
        int part[4] = {};
        for (int i = 0; i < 4 && understood; ++i) part[i] = numbers[i].toInt(&understood);
        parts.emplace_back(part[0], part[1], part[2], part[3]);
    }
    if (argc == 3 && !understood) {
        const WId window = QString::fromLocal8Bit(argv[1]).toULongLong(&understood, 0);
        if (understood) picture = screen.grabWindow(window);
    } else if (understood) {
        QRect whole;
        for (const QRect& part : parts) whole |= part;
        picture = QPixmap(whole.size());
        picture.fill(QGuiApplication::palette().color(QPalette::Window));
        QPainter painter(&picture);
        for (const QRect& part : parts)
            painter.drawPixmap(
                part.topLeft() - whole.topLeft(),
                screen.grabWindow(0, part.x(), part.y(), part.width(), part.height()));
    }
    if (!understood || picture.isNull() ||
        !picture.save(QString::fromLocal8Bit(argv[argc - 1]), "PNG")) {
        std::fprintf(stderr, "cannot grab %s into %s\n", argv[1], argv[argc - 1]);
        return 1;
    }
    return 0;
}
