#pragma once

#include <QObject>
#include <QPoint>
#include <functional>
#include <map>

class QWidget;

namespace runtime {

struct MouseArgs {
    Qt::MouseButtons buttons;  // the button that went down or up; for a move, those held
    Qt::KeyboardModifiers shift;
    QPoint position;  // pixels, relative to the control
};
using MouseHandler = std::function<void(const MouseArgs&)>;

enum class MouseEventKind { Move, Down, Up };

// Delivers mouse moves, presses and releases of a window's controls to their handlers. After a
// button goes down over a control, Qt's implicit grab sends the moves and the release to that
// control until the release, wherever the pointer is.
class MouseEvents final : public QObject {
  public:
    explicit MouseEvents(QObject* parent) : QObject(parent) {}

    void Add(QWidget& control, MouseEventKind kind, MouseHandler handler);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::map<std::pair<const QObject*, MouseEventKind>, MouseHandler> handlers_;
};

}  // namespace runtime
