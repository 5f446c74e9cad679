#pragma once

#include <QObject>

#include "platform/key_source.h"

namespace platform {

// Key presses and releases that reach the program's own windows, by native scan code. Only sees
// keys while one of our windows has the focus, but sees them wherever the background sources are
// blind (a native Wayland window, say); forgets every key when the program loses the focus, since
// the releases will not reach it. Each change is told at once, one event at a time, so even the
// shortest tap is seen down.
class WindowKeySource : public QObject, public KeySource {
  public:
    WindowKeySource();
    ~WindowKeySource() override;

    bool Snapshot(KeyboardState& state) override;
    const char* Name() const override { return "window"; }
    void OnChange(std::function<void()> handler) override { onChange_ = std::move(handler); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Set(quint32 code, std::uint8_t value);

    KeyboardState state_{};
    std::function<void()> onChange_;
};

}  // namespace platform
