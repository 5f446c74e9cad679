#pragma once

#include <QFont>
#include <QString>

namespace runtime {

// The font the dialog layouts were designed around: their labels are sized for an 8-point dialog
// font at 96 dots per inch. DejaVu Sans, wider than that font, fits the same boxes at 10 pixels.
// A pixel size keeps text and twips layout scaling together whatever DPI the desktop reports.
inline QFont DialogFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(10);
    return font;
}

}  // namespace runtime
