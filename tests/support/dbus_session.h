#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "wav_fixtures.h"

namespace testing_support {

// A D-Bus session bus of our own: dbus-daemon listening in a folder of its own, with no service
// to start on demand, and dbus-monitor writing down the desktop notifications sent on it.
class DbusSession {
  public:
    DbusSession();  // see running()
    ~DbusSession();
    DbusSession(const DbusSession&) = delete;
    DbusSession& operator=(const DbusSession&) = delete;

    bool running() const { return monitor_ > 0; }
    // Sets DBUS_SESSION_BUS_ADDRESS in this process, for the programs it starts next.
    void Export() const;
    // Each Notify call seen so far, as dbus-monitor shows it: its header line and arguments.
    std::vector<std::string> Notifications() const;

  private:
    std::string Address() const;

    TempDir dir_;
    pid_t daemon_ = -1;
    pid_t monitor_ = -1;
};

}  // namespace testing_support
