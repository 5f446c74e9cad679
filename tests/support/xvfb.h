// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/keys/keys.h"

typedef struct _XDisplay Display;

namespace testing_support {

// A virtual X server for one test, stopped with the object. The server picks a free display
// itself and names it only once it takes clients, so servers started side by side by parallel
// tests never race for a display number.
class Xvfb {
  public:
    explicit Xvfb(double seconds = 20);
    ~Xvfb();
    bool running() const { return pid_ > 0; }
    // Why the server is not running: it could not be started, ended early or did not answer.
    const std::string& failure() const { return failure_; }
    const std::string& display() const { return display_; }
    pid_t pid() const { return pid_; }

  private:
    void Stop(int signal);

    pid_t pid_ = -1;
    std::string display_;
    std::string failure_;
};

// A window of another program on the display, holding the keyboard focus.
class FocusedWindow {
  public:
    explicit FocusedWindow(const std::string& display);
    ~FocusedWindow();
    bool HasFocus() const;

  private:
    Display* display_;
    unsigned long window_ = 0;
};

// A key held down on the display by a client of its own until the object goes. The server lets
// go of a client's fake keys when the client disconnects, so the client must stay.
class HeldKey {
  public:
    HeldKey(const std::string& display, const std::string& key);
    ~HeldKey();
    // The server had the key down within a few seconds.
    bool down() const { return down_; }

  private:
    pid_t pid_ = -1;
    bool down_ = false;
};

// Polls the source until the record it reports to has the key held (or up), a few seconds at
// most: the server's events reach the source a moment after the client that caused them is done.
bool HeldUntil(platform::KeySource& source, const platform::KeyPresses& record, int scanCode,
               bool held);

// Runs a command line with DISPLAY set to the given display; true when it exits 0.
bool RunOnDisplay(const std::string& display, const std::string& command);

}  // namespace testing_support
