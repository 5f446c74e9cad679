#pragma once

#include <QImage>
#include <QRect>

#include "forms/art/key_geometry.h"

namespace forms::art {

// The main window's keyboard drawing, kKeyboardWidth x kKeyboardHeight logical pixels, rendered
// at the given device-pixel ratio.
QImage PaintKeyboard(qreal dpr);

// The highlight picture of note 1..36: its key as drawn, with the face lit.
QImage PaintHighlight(int note, qreal dpr);

// Where the highlight picture of note 1..36 lies on the keyboard drawing, in logical pixels.
QRect HighlightRect(int note);

// The note-order chart: the keyboard drawing with every note key red and numbered.
QImage PaintNoteChart(qreal dpr);

}  // namespace forms::art
