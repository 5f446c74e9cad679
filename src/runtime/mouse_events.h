// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPoint>
#include <functional>
#include <map>

class QWidget;

namespace runtime {

class Services;

struct MouseArgs {
    Qt::MouseButtons buttons;  // the button that went down or up; for a move, those held
    Qt::KeyboardModifiers shift;
    QPoint position;  // pixels, relative to the control
};
using MouseHandler = std::function<void(const MouseArgs&)>;

enum class MouseEventKind { Move, Down, Up };

// Delivers mouse moves, presses and releases of a window's controls to their handlers. After a
// button goes down over a control, Qt's implicit grab sends the moves and the release to that
// control until the release, wherever the pointer is. The handlers run through the services'
// guard.
class MouseEvents final : public QObject {
  public:
    MouseEvents(QObject* parent, Services& services) : QObject(parent), services_(services) {}

    void Add(QWidget& control, MouseEventKind kind, MouseHandler handler);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    Services& services_;
    std::map<std::pair<const QObject*, MouseEventKind>, MouseHandler> handlers_;
};

}  // namespace runtime
