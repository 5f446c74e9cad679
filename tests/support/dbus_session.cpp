// SPDX-License-Identifier: MIT
#include "dbus_session.h"

#include <signal.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "child_process.h"
#include "poll_until.h"

namespace testing_support {

DbusSession::DbusSession() {
    daemon_ = StartInGroup({"dbus-daemon", "--session", "--nofork", "--address=" + address_},
                           EnvironmentWith({}), dir_.file("daemon.log"));
    if (!PollUntil([this] { return std::filesystem::exists(dir_.file("bus")); }, 5)) return;
    monitor_ = StartInGroup({"dbus-monitor", "--address", address_,
                             "interface='org.freedesktop.Notifications',member='Notify'"},
                            EnvironmentWith({}), dir_.file("monitor.log"));
    // Once the bus has made it a monitor, the monitor is told it lost its own name.
    const auto told = [this] {
        return Tail(dir_.file("monitor.log")).find("NameLost") != std::string::npos;
    };
    if (PollUntil(told, 5)) return;
    EndGroup(monitor_, SIGTERM);
    monitor_ = -1;
}

DbusSession::~DbusSession() {
    EndGroup(monitor_, SIGTERM);
    EndGroup(daemon_, SIGTERM);
}

std::string DbusSession::Log() const {
    return "dbus-daemon:\n" + Tail(dir_.file("daemon.log")) + "\ndbus-monitor:\n" +
           Tail(dir_.file("monitor.log"));
}

void DbusSession::Export() const {
    setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
}

// The monitor shows only the Notify calls, each a "method call" line and its arguments.
std::vector<std::string> DbusSession::Notifications() const {
    std::ifstream file(dir_.file("monitor.log"));
    const std::string log{std::istreambuf_iterator<char>(file), {}};
    std::vector<std::string> calls;
    for (auto at = log.find("method call"); at != std::string::npos;) {
        const auto next = log.find("method call", at + 1);
        calls.push_back(log.substr(at, next - at));
        at = next;
    }
    return calls;
}

}  // namespace testing_support
