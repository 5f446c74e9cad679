#include "platform/x11_key_source.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

namespace platform {

namespace {

constexpr int kXKeycodeOffset = 8;
// After losing the server, try to connect again about once a second.
constexpr unsigned kSnapshotsBetweenReconnects = 36 * 25;
// The server may change key states without an event (it lets go of a disconnected client's fake
// keys), so the state is set from the keymap again about twice a second.
constexpr unsigned kSnapshotsBetweenResyncs = 36 * 12;
constexpr auto kReadInterval = std::chrono::milliseconds(1);

// Xlib's default handlers end the process; a lost or misbehaving server must not end ours.
// Returning from the I/O error handler hands the lost connection to its exit handler below.
int IgnoreProtocolError(Display*, XErrorEvent*) {
    return 0;
}

int ReturnFromIoError(Display*) {
    return 0;
}

void MarkConnectionLost(Display*, void* lost) {
    *static_cast<bool*>(lost) = true;
}

}  // namespace

std::unique_ptr<X11KeySource> X11KeySource::Open() {
    std::unique_ptr<X11KeySource> source(new X11KeySource);
    if (!source->Connect()) return nullptr;
    return source;
}

X11KeySource::~X11KeySource() {
    Disconnect();
}

bool X11KeySource::Connect() {
    XSetErrorHandler(IgnoreProtocolError);
    XSetIOErrorHandler(ReturnFromIoError);
    display_ = XOpenDisplay(nullptr);
    if (!display_) return false;
    connectionLost_ = false;
    XSetIOErrorExitHandler(display_, MarkConnectionLost, &connectionLost_);

    int event = 0, error = 0, opcode = 0;
    int major = 2, minor = 2;
    xiOpcode_ = -1;
    if (XQueryExtension(display_, "XInputExtension", &opcode, &event, &error) &&
        XIQueryVersion(display_, &major, &minor) == Success && (major > 2 || minor >= 1)) {
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(bits, XI_RawKeyPress);
        XISetMask(bits, XI_RawKeyRelease);
        XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
        XISelectEvents(display_, DefaultRootWindow(display_), &mask, 1);
        xiOpcode_ = opcode;
    }

    QueryKeymap();
    if (connectionLost_) Disconnect();
    return display_ != nullptr;
}

void X11KeySource::Disconnect() {
    // A connection that failed is left as it is: Xlib may not be used on it any more.
    if (display_ && !connectionLost_) XCloseDisplay(display_);
    display_ = nullptr;
    down_.fill(false);
}

void X11KeySource::QueryKeymap() {
    char keys[32] = {};
    XQueryKeymap(display_, keys);
    for (int code = 0; code < 256; ++code) down_[code] = (keys[code / 8] >> (code % 8)) & 1;
}

void X11KeySource::ApplyQueuedEvents() {
    while (!connectionLost_ && XEventsQueued(display_, QueuedAfterReading) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        XGenericEventCookie* cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != xiOpcode_) continue;
        if (!XGetEventData(display_, cookie)) continue;
        if (cookie->evtype == XI_RawKeyPress || cookie->evtype == XI_RawKeyRelease) {
            const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
            if (raw->detail >= 0 && raw->detail < 256)
                down_[raw->detail] = cookie->evtype == XI_RawKeyPress;
        }
        XFreeEventData(display_, cookie);
    }
}

bool X11KeySource::Snapshot(KeyboardState& state) {
    state.fill(0);
    if (!display_) {
        if (snapshotsSinceLoss_++ % kSnapshotsBetweenReconnects != 0 || !Connect()) return false;
    }
    // The 36 snapshots of one tick come within a fraction of a millisecond: reading the
    // connection once for them is enough.
    const auto now = std::chrono::steady_clock::now();
    if (UsesRawEvents() && now - lastRead_ >= kReadInterval) {
        lastRead_ = now;
        ApplyQueuedEvents();
    }
    if (!UsesRawEvents() || ++snapshotsSinceResync_ % kSnapshotsBetweenResyncs == 0) QueryKeymap();
    if (connectionLost_) {
        Disconnect();
        snapshotsSinceLoss_ = 1;
        return false;
    }
    for (int code = kXKeycodeOffset; code < 256; ++code)
        if (down_[code]) state[code - kXKeycodeOffset] = kKeyDown;
    return true;
}

}  // namespace platform
