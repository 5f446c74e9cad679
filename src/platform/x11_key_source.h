#pragma once

#include <array>
#include <chrono>
#include <memory>

#include "platform/key_batch.h"
#include "platform/key_source.h"
#include "platform/pacer.h"

typedef struct _XDisplay Display;
class QSocketNotifier;

namespace platform {

// Reads the keyboard through an X server connection of its own, whatever window has the focus.
// The key state is kept current from XInput2 raw key events on the root window (delivered without
// any grab) and started from XQueryKeymap; without XInput2 every snapshot queries the keymap.
// With a change handler the connection is read as soon as events arrive, on the event loop;
// without one, at most once a millisecond when a snapshot is taken.
// X key codes are scan codes + 8 on evdev-based servers.
class X11KeySource : public KeySource {
  public:
    // nullptr when no X server can be reached.
    static std::unique_ptr<X11KeySource> Open();
    ~X11KeySource() override;

    bool Snapshot(KeyboardState& state) override;
    const char* Name() const override { return "x11"; }
    void OnChange(std::function<void()> handler) override;
    bool UsesRawEvents() const { return xiOpcode_ >= 0; }

  private:
    X11KeySource() = default;
    bool Connect();
    void Disconnect();
    void Watch();
    void QueryKeymap();
    // Takes in the events waiting on the connection (mode as for XEventsQueued) into batch_.
    void ApplyQueuedEvents(int mode);
    void OnReadable();

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
    KeyBatch batch_;                // by scan code
    std::function<void()> onChange_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace platform
