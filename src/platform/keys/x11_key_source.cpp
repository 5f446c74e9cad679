// SPDX-License-Identifier: MIT
#include "platform/keys/x11_key_source.h"

// Qt before Xlib, whose macros (Bool, Status) break Qt's headers.
#include <QCoreApplication>
#include <QSocketNotifier>

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

namespace platform {

namespace {

constexpr int kXKeycodeOffset = 8;
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
    // Deleted at once, so that no queued call of it outlives the source.
    delete notifier_;
    notifier_ = nullptr;
    report_.reset();  // the record may be gone before its sources
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
    if (display_) Watch();
    return display_ != nullptr;
}

void X11KeySource::Disconnect() {
    if (notifier_) {
        // This may run inside the notifier's own signal: let the event loop delete it.
        notifier_->setEnabled(false);
        notifier_->deleteLater();
        notifier_ = nullptr;
    }
    // A connection that failed is left as it is: Xlib may not be used on it any more.
    if (display_ && !connectionLost_) XCloseDisplay(display_);
    display_ = nullptr;
    for (int code = 0; code < 256; ++code) Set(code, false);
}

void X11KeySource::Start(KeyReport report) {
    report_ = report;
    for (int code = 0; code < 256; ++code)
        if (down_[code]) report_->Down(code - kXKeycodeOffset);
    Watch();
}

// Only with an event loop to run it: without one the connection is read when polled.
void X11KeySource::Watch() {
    if (!report_ || !QCoreApplication::instance() || !display_ || !UsesRawEvents() || notifier_)
        return;
    notifier_ = new QSocketNotifier(ConnectionNumber(display_), QSocketNotifier::Read);
    QObject::connect(notifier_, &QSocketNotifier::activated, [this] { OnReadable(); });
}

// One batch: everything that has arrived.
void X11KeySource::OnReadable() {
    if (!display_) return;
    ApplyQueuedEvents(QueuedAfterReading);
    if (connectionLost_) Disconnect();
    report_->Changed();
}

void X11KeySource::QueryKeymap() {
    char keys[32] = {};
    XQueryKeymap(display_, keys);
    for (int code = 0; code < 256; ++code) Set(code, (keys[code / 8] >> (code % 8)) & 1);
}

void X11KeySource::Set(int xKeyCode, bool down) {
    if (down_[xKeyCode] == down) return;
    down_[xKeyCode] = down;
    if (!report_ || xKeyCode < kXKeycodeOffset) return;
    if (down)
        report_->Down(xKeyCode - kXKeycodeOffset);
    else
        report_->Up(xKeyCode - kXKeycodeOffset);
}

void X11KeySource::ApplyQueuedEvents(int mode) {
    while (!connectionLost_ && XEventsQueued(display_, mode) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        XGenericEventCookie* cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != xiOpcode_) continue;
        if (!XGetEventData(display_, cookie)) continue;
        if (cookie->evtype == XI_RawKeyPress || cookie->evtype == XI_RawKeyRelease) {
            const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
            if (raw->detail >= 0 && raw->detail < 256)
                Set(raw->detail, cookie->evtype == XI_RawKeyPress);
        }
        XFreeEventData(display_, cookie);
    }
}

void X11KeySource::Poll() {
    if (!display_ && (!reconnect_.Due() || !Connect())) return;
    // Without the notifier nobody reads the connection between polls. The 36 reads of one tick
    // come within a fraction of a millisecond: reading it once for them is enough.
    const auto now = std::chrono::steady_clock::now();
    if (!notifier_ && UsesRawEvents() && now - lastRead_ >= kReadInterval) {
        lastRead_ = now;
        ApplyQueuedEvents(QueuedAfterReading);
    }
    if (!UsesRawEvents() || resync_.Due()) {
        QueryKeymap();
        // The keymap's round trip may have queued events that the notifier will not announce.
        if (notifier_ && XEventsQueued(display_, QueuedAlready) > 0)
            QMetaObject::invokeMethod(
                notifier_, [this] { OnReadable(); }, Qt::QueuedConnection);
    }
    if (connectionLost_) Disconnect();
    if (report_) report_->Changed();
}

}  // namespace platform
