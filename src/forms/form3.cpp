// SPDX-License-Identifier: MIT
#include "forms/form3.h"

#include <QAbstractButton>
#include <QLabel>

#include "forms/art/icons.h"
#include "forms/form3_layout.h"
#include "runtime/services.h"

namespace forms {

Form3::Form3(runtime::Services& services) : runtime::Form(services, kForm3, Form3Layout()) {
    setWindowIcon(art::InformationIcon());
    OnClick(Get<QAbstractButton>("Command1"), [this] { runtime::Unload(*this); });

    // Moving anywhere else on the window, except over Label1 and Command1, ends the hover. While
    // a button pressed on the link is held, the moves go to the link, so it stays orange.
    const auto normal = [this](const runtime::MouseArgs&) { SetLinkColor(kLinkNormal); };
    for (QWidget* area :
         {static_cast<QWidget*>(this), &Get<QWidget>("Frame1"), &Get<QWidget>("Frame2"),
          &Get<QWidget>("Label3"), &Get<QWidget>("Label4")})
        OnMouseMove(*area, normal);

    QLabel& link = Get<QLabel>("Label2");
    OnMouseMove(link, [this](const runtime::MouseArgs&) { SetLinkColor(kLinkHover); });
    OnMouseDown(link, [this](const runtime::MouseArgs&) { SetLinkColor(kLinkPressed); });
    OnMouseUp(link, [this](const runtime::MouseArgs&) { Label2_MouseUp(); });
}

void Form3::SetLinkColor(runtime::Color color) {
    runtime::SetForeColor(Get<QLabel>("Label2"), color);
}

// Opens the link target; whatever the shell makes of it, the window says nothing.
void Form3::Label2_MouseUp() {
    constexpr core::WindowHandle kNoOwner = 0;
    services().ShellExecute(kNoOwner, "open", kLinkTarget, "", "", runtime::SW_SHOWMAXIMIZED);
}

}  // namespace forms
