// SPDX-License-Identifier: MIT
#include "runtime/mouse_events.h"

#include <QMouseEvent>
#include <QWidget>

#include "runtime/services.h"

namespace runtime {

void MouseEvents::Add(QWidget& control, MouseEventKind kind, MouseHandler handler) {
    control.setMouseTracking(true);
    control.installEventFilter(this);
    handlers_[{&control, kind}] = std::move(handler);
}

bool MouseEvents::eventFilter(QObject* watched, QEvent* event) {
    MouseEventKind kind;
    switch (event->type()) {
        case QEvent::MouseMove:
            kind = MouseEventKind::Move;
            break;
        case QEvent::MouseButtonPress:
            kind = MouseEventKind::Down;
            break;
        case QEvent::MouseButtonRelease:
            kind = MouseEventKind::Up;
            break;
        default:
            return false;
    }
    const auto found = handlers_.find({watched, kind});
    if (found == handlers_.end()) return false;

    const auto* mouse = static_cast<QMouseEvent*>(event);
    const MouseArgs args{kind == MouseEventKind::Move ? mouse->buttons() : mouse->button(),
                         mouse->modifiers(), mouse->position().toPoint()};
    services_.Guard([&] { found->second(args); });
    event->accept();
    return true;
}

}  // namespace runtime
