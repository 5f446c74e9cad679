// SPDX-License-Identifier: MIT
#include "forms/art/key_painter.h"

#include <QFontMetricsF>

namespace forms::art {
namespace {

constexpr qreal kCornerRadius = 3;
constexpr qreal kLabelMargin = 2;  // each side, so labels never touch the key's edge
const QColor kPlainInk(0, 0, 0);
const QColor kModifierInk(208, 208, 208);

// Shrinks the font until the text fits the key's face.
QFont FittedFont(QFont font, const QString& text, const QRectF& face) {
    int pixelSize = font.pixelSize() > 0 ? font.pixelSize() : int(face.height() / 2);
    for (; pixelSize > 6; --pixelSize) {
        font.setPixelSize(pixelSize);
        const QFontMetricsF metrics(font);
        if (metrics.horizontalAdvance(text) <= face.width() - 2 * kLabelMargin &&
            metrics.capHeight() <= face.height() - 2 * kLabelMargin)
            break;
    }
    font.setPixelSize(pixelSize);
    return font;
}

void PaintWindowsFlag(QPainter& painter, const QRectF& face) {
    constexpr qreal kPane = 4, kGap = 1;
    const QColor panes[] = {{235, 65, 40}, {100, 180, 60}, {40, 130, 230}, {250, 200, 30}};
    const QPointF origin = face.center() - QPointF(kPane + kGap / 2, kPane + kGap / 2);
    for (int i = 0; i < 4; ++i) {
        const QPointF corner = origin + QPointF((i % 2) * (kPane + kGap), (i / 2) * (kPane + kGap));
        painter.fillRect(QRectF(corner, QSizeF(kPane, kPane)), panes[i]);
    }
}

void PaintMenuDocument(QPainter& painter, const QRectF& face, const QColor& ink) {
    const QRectF page(face.center() - QPointF(3.5, 5), QSizeF(7, 10));
    painter.setPen(QPen(ink.darker(160), 1));
    painter.setBrush(ink);
    painter.drawRect(page.adjusted(0.5, 0.5, -0.5, -0.5));
    for (qreal y = page.top() + 3; y < page.bottom() - 1.5; y += 2)
        painter.drawLine(QPointF(page.left() + 2, y + 0.5), QPointF(page.right() - 2, y + 0.5));
}

}  // namespace

QFont BoldFont(const QStringList& families, QFont::StyleHint hint, int pixelSize) {
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(hint);
    font.setBold(true);
    if (pixelSize > 0) font.setPixelSize(pixelSize);
    return font;
}

KeyLook DrawingLook(const Key& key, const KeyboardPalette& palette) {
    const bool plain = key.style == KeyStyle::kPlain;
    return {plain ? palette.plainFace : palette.modifierFace, key.label.toString(),
            plain ? kPlainInk : kModifierInk,
            BoldFont({"DejaVu Sans", "Liberation Sans", "Arial", "Helvetica"}, QFont::SansSerif)};
}

void PaintKey(QPainter& painter, const Key& key, const KeyLook& look) {
    const QRectF face(key.face);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(look.face.darker(135), 1));
    painter.setBrush(look.face);
    painter.drawRoundedRect(face.adjusted(0.5, 0.5, -0.5, -0.5), kCornerRadius, kCornerRadius);

    switch (key.glyph) {
        case KeyGlyph::kWindowsFlag:
            PaintWindowsFlag(painter, face);
            break;
        case KeyGlyph::kMenuDocument:
            PaintMenuDocument(painter, face, look.ink);
            break;
        case KeyGlyph::kNone:
            break;
    }
    if (!look.label.isEmpty()) {
        painter.setFont(FittedFont(look.font, look.label, face));
        painter.setPen(look.ink);
        painter.drawText(face, Qt::AlignCenter, look.label);
    }
    painter.restore();
}

QImage NewCanvas(QSize logicalSize, qreal dpr, const QColor& fill) {
    QImage image(logicalSize * dpr, QImage::Format_RGB32);
    image.setDevicePixelRatio(dpr);
    image.fill(fill);
    return image;
}

}  // namespace forms::art
