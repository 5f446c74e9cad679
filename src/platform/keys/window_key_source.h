// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <optional>

#include "platform/keys/keys.h"

namespace platform {

// Key presses and releases that reach the program's own windows, by native scan code. Only sees
// keys while one of our windows has the focus, but sees them wherever the background sources are
// blind (a native Wayland window, say); lets go of every key when the program loses the focus,
// since the releases will not reach it. Each event is a batch of its own.
class WindowKeySource : public QObject, public KeySource {
  public:
    WindowKeySource();
    ~WindowKeySource() override;

    void Start(KeyReport report) override { report_ = report; }
    const char* Name() const override { return "window"; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::optional<KeyReport> report_;
};

}  // namespace platform
