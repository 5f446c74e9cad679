// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>
#include <QRect>
#include <array>

#include "forms/art/key_geometry.h"

namespace forms::art {

// The main window's keyboard drawing, kKeyboardWidth x kKeyboardHeight logical pixels, rendered
// at the given device-pixel ratio.
QImage PaintKeyboard(qreal dpr);

// The highlight picture of note 1..36: its key as drawn, with the face lit.
QImage PaintHighlight(int note, qreal dpr);

// The mark of note 1..36, a key to press next: its key as drawn, with a face of a colour of its
// own, far from the highlight's. It lies where the highlight does.
QImage PaintMark(int note, qreal dpr);

// Where the highlight picture of note 1..36 lies on the keyboard drawing, in logical pixels.
QRect HighlightRect(int note);

// The note-order chart: the keyboard drawing with every note key red and numbered.
QImage PaintNoteChart(qreal dpr);

// The main window's keyboard drawing, its highlights and marks (by note; [0] empty), painted
// together: images, so that they may be painted off the GUI thread.
struct KeyboardPictures {
    QImage keyboard;
    std::array<QImage, 37> highlights;
    std::array<QImage, 37> marks;
};
KeyboardPictures PaintKeyboardPictures(qreal dpr);

}  // namespace forms::art
