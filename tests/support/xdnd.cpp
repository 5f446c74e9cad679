// SPDX-License-Identifier: MIT
#include "xdnd.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <thread>

namespace testing_support {

bool DropFile(const std::string& displayName, unsigned long window, const std::string& path) {
    Display* display = XOpenDisplay(displayName.c_str());
    if (!display) return false;
    const auto atom = [display](const char* name) { return XInternAtom(display, name, False); };
    const Window root = DefaultRootWindow(display);
    const Window source = XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(display, atom("XdndSelection"), source, CurrentTime);
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, window, &attributes);
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(display, window, root, attributes.width / 2, attributes.height / 2, &x,
                          &y, &child);
    const auto send = [&](const char* type, long second, long third, long fourth, long fifth) {
        XEvent event{};
        event.xclient = {ClientMessage, 0, True, display, window, atom(type), 32, {}};
        const long data[5] = {static_cast<long>(source), second, third, fourth, fifth};
        for (int i = 0; i < 5; ++i) event.xclient.data.l[i] = data[i];
        XSendEvent(display, window, False, NoEventMask, &event);
        XFlush(display);
    };
    const Atom uriList = atom("text/uri-list");
    send("XdndEnter", 5L << 24, static_cast<long>(uriList), 0, 0);
    send("XdndPosition", 0, x << 16 | y, CurrentTime, static_cast<long>(atom("XdndActionCopy")));

    const std::string uri = "file://" + path + "\r\n";
    bool accepted = false, finished = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!finished && std::chrono::steady_clock::now() < deadline) {
        if (!XPending(display)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == ClientMessage && event.xclient.message_type == atom("XdndStatus")) {
            if (!accepted && (accepted = event.xclient.data.l[1] & 1))
                send("XdndDrop", 0, CurrentTime, 0, 0);
        } else if (event.type == ClientMessage &&
                   event.xclient.message_type == atom("XdndFinished")) {
            finished = true;
        } else if (event.type == SelectionRequest) {
            // The window asks for the file's address (or for the types it may ask for).
            const XSelectionRequestEvent& request = event.xselectionrequest;
            if (request.target == atom("TARGETS"))
                XChangeProperty(display, request.requestor, request.property, XA_ATOM, 32,
                                PropModeReplace, reinterpret_cast<const unsigned char*>(&uriList),
                                1);
            else
                XChangeProperty(display, request.requestor, request.property, request.target, 8,
                                PropModeReplace, reinterpret_cast<const unsigned char*>(uri.data()),
                                static_cast<int>(uri.size()));
            XEvent reply{};
            reply.xselection = {SelectionNotify,
                                0,
                                True,
                                display,
                                request.requestor,
                                request.selection,
                                request.target,
                                request.property,
                                request.time};
            XSendEvent(display, request.requestor, False, NoEventMask, &reply);
            XFlush(display);
        }
    }
    XDestroyWindow(display, source);
    XCloseDisplay(display);
    return accepted && finished;
}

}  // namespace testing_support
