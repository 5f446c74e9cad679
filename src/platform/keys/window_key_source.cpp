// SPDX-License-Identifier: MIT
#include "platform/keys/window_key_source.h"

#include <QGuiApplication>
#include <QKeyEvent>

namespace platform {

namespace {
// Native scan codes under X11 and Wayland are evdev key codes + 8.
constexpr quint32 kNativeOffset = 8;
}  // namespace

WindowKeySource::WindowKeySource() {
    if (qApp) qApp->installEventFilter(this);
}

WindowKeySource::~WindowKeySource() {
    if (qApp) qApp->removeEventFilter(this);
}

// A key event passes the filter once for every object it is offered to; the record takes only
// the first as a change.
bool WindowKeySource::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (report_ && (type == QEvent::KeyPress || type == QEvent::KeyRelease)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const quint32 code = key->nativeScanCode() - kNativeOffset;
        if (!key->isAutoRepeat()) {
            if (type == QEvent::KeyPress)
                report_->Down(code);
            else
                report_->Up(code);
            report_->Changed();
        }
    } else if (report_ && type == QEvent::ApplicationStateChange &&
               QGuiApplication::applicationState() != Qt::ApplicationActive) {
        report_->AllUp();
        report_->Changed();
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace platform
