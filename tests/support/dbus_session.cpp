#include "dbus_session.h"

#include <signal.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "child_process.h"
#include "poll_until.h"

namespace testing_support {

namespace {

std::string Read(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

DbusSession::DbusSession() {
    std::ofstream(dir_.file("bus.conf"))
        << "<busconfig><type>session</type><listen>" << Address()
        << "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow "
           "send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow "
           "own=\"*\"/></policy></busconfig>\n";
    daemon_ = StartInGroup({"dbus-daemon", "--config-file=" + dir_.file("bus.conf"), "--nofork"},
                           EnvironmentWith({}), dir_.file("daemon.log"));
    if (!PollUntil([this] { return std::filesystem::exists(dir_.file("socket")); }, 5)) return;
    const std::string log = dir_.file("monitor.log");
    monitor_ = StartInGroup({"dbus-monitor", "--address", Address(),
                             "interface='org.freedesktop.Notifications',member='Notify'"},
                            EnvironmentWith({}), log);
    // A monitor, once the bus has made it one, is told it lost its own name.
    if (!PollUntil([&log] { return Read(log).find("member=NameLost") != std::string::npos; }, 5)) {
        EndGroup(monitor_, SIGTERM);
        monitor_ = -1;
    }
}

DbusSession::~DbusSession() {
    EndGroup(monitor_, SIGTERM);
    EndGroup(daemon_, SIGTERM);
}

std::string DbusSession::Address() const {
    return "unix:path=" + dir_.file("socket");
}

void DbusSession::Export() const {
    setenv("DBUS_SESSION_BUS_ADDRESS", Address().c_str(), 1);
}

std::vector<std::string> DbusSession::Notifications() const {
    std::vector<std::string> calls;
    std::istringstream log(Read(dir_.file("monitor.log")));
    bool inCall = false;
    for (std::string line; std::getline(log, line);) {
        // Each message starts with an unindented header line; its arguments are indented.
        if (!line.empty() && line[0] != ' ') {
            inCall = line.find("member=Notify") != std::string::npos;
            if (inCall) calls.emplace_back();
        }
        if (inCall) calls.back() += line + "\n";
    }
    return calls;
}

}  // namespace testing_support
