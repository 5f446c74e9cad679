// SPDX-License-Identifier: MIT
#include "forms/form2.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPixmap>

#include "forms/art/icons.h"
#include "forms/art/keyboard_art.h"
#include "forms/form2_layout.h"

namespace forms {

Form2::Form2(runtime::Services& services) : runtime::Form(services, kForm2, Form2Layout()) {
    setWindowIcon(art::InformationIcon());
    runtime::SetPicture(Get<QLabel>("Picture1"),
                        QPixmap::fromImage(art::PaintNoteChart(devicePixelRatioF())));
    OnClick(Get<QAbstractButton>("Command1"), [this] { runtime::Unload(*this); });
}

}  // namespace forms
