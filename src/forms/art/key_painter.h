// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QString>

#include "forms/art/key_geometry.h"

namespace forms::art {

// The colours of one rendition of the keyboard.
struct KeyboardPalette {
    QColor background;
    QColor plainFace;
    QColor modifierFace;
};

// How one key is painted: face colour, label text, its colour and typeface.
struct KeyLook {
    QColor face;
    QString label;
    QColor ink;
    QFont font;
};

// A bold font from the first of these families the machine has; without a pixel size the
// label is fitted to its key.
QFont BoldFont(const QStringList& families, QFont::StyleHint hint, int pixelSize = 0);

// The key as the keyboard drawing shows it: plain keys with bold black labels, modifier keys
// darker with faint labels.
KeyLook DrawingLook(const Key& key, const KeyboardPalette& palette);

// Paints the key's face, label and glyph in drawing coordinates. Paints nothing outside the
// face rectangle.
void PaintKey(QPainter& painter, const Key& key, const KeyLook& look);

// An opaque image of the given logical size, filled with one colour, for painting at this
// device-pixel ratio.
QImage NewCanvas(QSize logicalSize, qreal dpr, const QColor& fill);

}  // namespace forms::art
