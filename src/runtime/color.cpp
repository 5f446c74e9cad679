// SPDX-License-Identifier: MIT
#include "runtime/color.h"

#include <QWidget>

namespace runtime {

QColor ToQColor(Color color) {
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

void SetForeColor(QWidget& control, Color color) {
    QPalette palette = control.palette();
    palette.setColor(QPalette::WindowText, ToQColor(color));
    control.setPalette(palette);
}

Color ForeColor(const QWidget& control) {
    const QColor color = control.palette().color(QPalette::WindowText);
    return Rgb(color.red(), color.green(), color.blue());
}

void SetBackColor(QWidget& control, Color color) {
    QPalette palette = control.palette();
    palette.setColor(QPalette::Window, ToQColor(color));
    control.setPalette(palette);
    control.setAutoFillBackground(true);
}

}  // namespace runtime
