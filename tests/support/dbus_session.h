// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "wav_fixtures.h"

namespace testing_support {

// A D-Bus session bus of our own, listening in a folder of its own, with dbus-monitor writing
// down the desktop notifications sent on it.
class DbusSession {
  public:
    DbusSession();  // see running()
    ~DbusSession();
    bool running() const { return monitor_ > 0; }
    // What the bus and its monitor said, for a failure message.
    std::string Log() const;
    // Sets DBUS_SESSION_BUS_ADDRESS in this process, for the programs it starts next.
    void Export() const;
    // Each Notify call seen so far, as dbus-monitor writes it: its header line and arguments.
    std::vector<std::string> Notifications() const;

  private:
    TempDir dir_;
    std::string address_ = "unix:path=" + dir_.file("bus");
    pid_t daemon_ = -1;
    pid_t monitor_ = -1;
};

}  // namespace testing_support
