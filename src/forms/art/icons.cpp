// SPDX-License-Identifier: MIT
#include "forms/art/icons.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>
#include <cmath>

namespace forms::art {
namespace {

constexpr int kWhiteKeys = 4;

QIcon IconOf(auto paint, std::initializer_list<int> sizes) {
    QIcon icon;
    for (int size : sizes) icon.addPixmap(QPixmap::fromImage(paint(size)));
    return icon;
}

}  // namespace

QImage PaintMainIcon(int size) {
    QImage image(size, size, QImage::Format_RGB888);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    // White keys: lit from above, their front edge in shade at the bottom.
    QLinearGradient ivory(0, 0, 0, size);
    ivory.setColorAt(0, QColor(255, 255, 255));
    ivory.setColorAt(0.85, QColor(236, 236, 236));
    ivory.setColorAt(1, QColor(200, 200, 200));
    painter.fillRect(image.rect(), ivory);

    // Boundaries between white keys fall on whole pixels for every size divisible by four.
    const qreal whiteWidth = qreal(size) / kWhiteKeys;
    const int lineWidth = std::max(1, int(std::lround(size / 64.0)));
    const int blackWidth = std::max(3, int(std::lround(whiteWidth * 0.6)));
    const int blackHeight = int(std::lround(size * 0.6));
    const QColor gap(75, 75, 75);
    for (int boundary = 1; boundary < kWhiteKeys; ++boundary) {
        const int x = int(std::lround(boundary * whiteWidth));
        painter.fillRect(QRect(x - lineWidth / 2, 0, lineWidth, size), gap);

        const QRect black(x - blackWidth / 2, -2, blackWidth, blackHeight + 2);
        QLinearGradient ebony(black.topLeft(), black.topRight());
        ebony.setColorAt(0, QColor(20, 20, 20));
        ebony.setColorAt(0.35, QColor(70, 70, 70));
        ebony.setColorAt(1, QColor(5, 5, 5));
        painter.setPen(Qt::NoPen);
        painter.setBrush(ebony);
        const qreal radius = std::max(1.0, size / 36.0);
        painter.drawRoundedRect(black, radius, radius);

        // The sloped front of the black key catches a little light.
        const qreal front = std::max(1.0, size / 24.0);
        painter.setBrush(QColor(95, 95, 95));
        painter.drawRoundedRect(QRectF(black.left() + front / 2, black.bottom() + 1 - 2 * front,
                                       black.width() - front, front),
                                radius / 2, radius / 2);
    }
    return image;
}

QIcon MainIcon() {
    // Up to 128 pixels for the window; the menu's larger sizes are the installed icon theme's.
    return IconOf(PaintMainIcon, {16, 24, 32, 48, kMainIconSize, 128});
}

QImage PaintInformationIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const QRectF badge(0.5, 0.5, s - 1, s - 1);

    QRadialGradient body(QPointF(s * 0.5, s * 0.3), s * 0.75);
    body.setColorAt(0, QColor(120, 190, 255));
    body.setColorAt(0.6, QColor(30, 100, 210));
    body.setColorAt(1, QColor(10, 55, 150));
    painter.setPen(QPen(QColor(10, 45, 120), 1));
    painter.setBrush(body);
    painter.drawEllipse(badge);

    // Gloss: a soft white cap over the upper half.
    QLinearGradient gloss(0, s * 0.05, 0, s * 0.55);
    gloss.setColorAt(0, QColor(255, 255, 255, 190));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(gloss);
    painter.drawEllipse(QRectF(s * 0.18, s * 0.06, s * 0.64, s * 0.46));

    // The letter: a round dot over a stem with a flag at its top and a foot.
    const qreal stem = std::max(2.0, std::round(s * 0.14));
    const qreal left = std::round((s - stem) / 2);
    QPainterPath letter;
    letter.setFillRule(Qt::WindingFill);
    letter.addEllipse(QPointF(left + stem / 2, s * 0.27), stem * 0.62, stem * 0.62);
    letter.addRect(QRectF(left, s * 0.42, stem, s * 0.34));
    letter.addRect(QRectF(left - stem * 0.5, s * 0.42, stem * 0.5, stem * 0.45));
    letter.addRect(QRectF(left - stem * 0.5, s * 0.76 - stem * 0.45, stem * 2, stem * 0.45));
    painter.setBrush(Qt::white);
    painter.drawPath(letter.simplified());
    return image;
}

QIcon InformationIcon() {
    return IconOf(PaintInformationIcon, {16, 32, 48});
}

}  // namespace forms::art
