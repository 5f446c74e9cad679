// SPDX-License-Identifier: MIT
#include "forms/art/keyboard_art.h"

#include "core/note_map.h"
#include "forms/art/key_painter.h"

namespace forms::art {
namespace {

const KeyboardPalette kDrawingPalette{{197, 232, 249}, {244, 244, 244}, {165, 165, 165}};
const KeyboardPalette kChartPalette{{195, 232, 250}, {245, 245, 245}, {165, 165, 165}};
const QColor kHighlightFace(220, 95, 98);
const QColor kMarkFace(110, 190, 110);
const QColor kChartNoteFace(217, 93, 91);
const QColor kChartNumeralInk(255, 255, 255);

QImage PaintWholeKeyboard(qreal dpr, const KeyboardPalette& palette, auto lookOf) {
    QImage image = NewCanvas({kKeyboardWidth, kKeyboardHeight}, dpr, palette.background);
    QPainter painter(&image);
    for (const Key& key : Keys()) PaintKey(painter, key, lookOf(key));
    return image;
}

// The key of the note as drawn, but for its face.
QImage PaintKeyFace(int note, qreal dpr, const QColor& face) {
    const Key& key = KeyOfNote(note);
    KeyLook look = DrawingLook(key, kDrawingPalette);
    look.face = face;

    // Painted where the key lies on the drawing, so corners and label match it pixel for pixel.
    QImage image = NewCanvas(key.face.size(), dpr, kDrawingPalette.background);
    QPainter painter(&image);
    painter.translate(-key.face.topLeft());
    PaintKey(painter, key, look);
    return image;
}

}  // namespace

QImage PaintKeyboard(qreal dpr) {
    return PaintWholeKeyboard(dpr, kDrawingPalette,
                              [](const Key& key) { return DrawingLook(key, kDrawingPalette); });
}

QRect HighlightRect(int note) {
    return KeyOfNote(note).face;
}

QImage PaintHighlight(int note, qreal dpr) {
    return PaintKeyFace(note, dpr, kHighlightFace);
}

QImage PaintMark(int note, qreal dpr) {
    return PaintKeyFace(note, dpr, kMarkFace);
}

KeyboardPictures PaintKeyboardPictures(qreal dpr) {
    KeyboardPictures pictures{PaintKeyboard(dpr), {}, {}};
    for (int note = 1; note <= core::kNoteCount; ++note) {
        pictures.highlights[note] = PaintHighlight(note, dpr);
        pictures.marks[note] = PaintMark(note, dpr);
    }
    return pictures;
}

QImage PaintNoteChart(qreal dpr) {
    return PaintWholeKeyboard(dpr, kChartPalette, [](const Key& key) {
        const int note = core::NoteOfKey(key.scanCode);
        if (note == 0) return DrawingLook(key, kChartPalette);
        return KeyLook{kChartNoteFace, QString::number(note), kChartNumeralInk,
                       BoldFont({"DejaVu Serif", "Liberation Serif", "Times New Roman", "Times"},
                                QFont::Serif, 11)};
    });
}

}  // namespace forms::art
