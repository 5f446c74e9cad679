// SPDX-License-Identifier: MIT
#pragma once

#include <QIcon>
#include <QImage>

namespace forms::art {

// The main window's icon at its designed size.
inline constexpr int kMainIconSize = 72;

// A close-up of piano keys, size x size pixels, 24-bit and fully opaque: three black keys
// standing on white keys, thin dark lines between the white keys below them.
QImage PaintMainIcon(int size);

// The main window's icon, with its designed size among others for scaled screens.
QIcon MainIcon();

// A glossy round blue badge with a white lower-case i, size x size pixels, transparent around it.
QImage PaintInformationIcon(int size);

// The information icon of the note-order and About windows, in sizes 16, 32 and 48.
QIcon InformationIcon();

}  // namespace forms::art
