// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <chrono>
#include <memory>

#include <optional>

#include "platform/keys/keys.h"
#include "platform/pacer.h"

typedef struct _XDisplay Display;
class QSocketNotifier;

namespace platform {

// Reads the keyboard through an X server connection of its own, whatever window has the focus.
// The key state is kept current from XInput2 raw key events on the root window (delivered without
// any grab) and started from XQueryKeymap; without XInput2 every snapshot queries the keymap.
// Once started, the connection is read as soon as events arrive, on the event loop (or, where
// there is no event loop, at most once a millisecond when polled).
// X key codes are scan codes + 8 on evdev-based servers.
class X11KeySource : public KeySource {
  public:
    // nullptr when no X server can be reached.
    static std::unique_ptr<X11KeySource> Open();
    ~X11KeySource() override;

    void Start(KeyReport report) override;
    void Poll() override;
    const char* Name() const override { return "x11"; }
    bool UsesRawEvents() const { return xiOpcode_ >= 0; }

  private:
    X11KeySource() = default;
    bool Connect();
    void Disconnect();
    void Watch();
    void QueryKeymap();
    // Takes in the events waiting on the connection (mode as for XEventsQueued).
    void ApplyQueuedEvents(int mode);
    void OnReadable();
    void Set(int xKeyCode, bool down);

    Display* display_ = nullptr;
    int xiOpcode_ = -1;
    bool connectionLost_ = false;
    // After losing the server, try to connect again about once a second.
    Pacer reconnect_{std::chrono::seconds(1)};
    // The server may change key states without an event (it lets go of a disconnected client's
    // fake keys), so the state is set from the keymap again about twice a second.
    Pacer resync_{std::chrono::milliseconds(500)};
    std::chrono::steady_clock::time_point lastRead_;
    std::array<bool, 256> down_{};  // by X key code
    std::optional<KeyReport> report_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace platform
