#pragma once

#include <QObject>

#include "platform/key_source.h"

namespace platform {

// The last resort: key presses and releases that reach the program's own windows, by native scan
// code. Only sees keys while one of our windows has the focus; forgets every key when the
// program loses the focus, since the releases will not reach it.
class WindowKeySource : public QObject, public KeySource {
  public:
    WindowKeySource();
    ~WindowKeySource() override;

    bool Snapshot(KeyboardState& state) override;
    const char* Name() const override { return "window"; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    KeyboardState state_{};
};

}  // namespace platform
