#include "platform/window_key_source.h"

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

bool WindowKeySource::Snapshot(KeyboardState& state) {
    state = state_;
    return true;
}

bool WindowKeySource::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const quint32 code = key->nativeScanCode() - kNativeOffset;
        if (!key->isAutoRepeat()) Set(code, type == QEvent::KeyPress ? kKeyDown : 0);
    } else if (type == QEvent::ApplicationStateChange &&
               QGuiApplication::applicationState() != Qt::ApplicationActive) {
        for (quint32 code = 0; code < state_.size(); ++code) Set(code, 0);
    }
    return QObject::eventFilter(watched, event);
}

// A key event passes the filter once for every object it is offered to; only a change is told.
void WindowKeySource::Set(quint32 code, std::uint8_t value) {
    if (code >= state_.size() || state_[code] == value) return;
    state_[code] = value;
    if (onChange_) onChange_();
}

}  // namespace platform
