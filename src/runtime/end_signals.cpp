// SPDX-License-Identifier: MIT
#include "runtime/end_signals.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>

namespace runtime {

namespace {

// The signal handler only writes a byte here; the event loop reads it and does the rest.
int wakeUp[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(wakeUp[0], &byte, 1);
}

}  // namespace

void OnEndSignals(std::function<void()> end) {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, wakeUp) != 0) return;
    auto* notifier =
        new QSocketNotifier(wakeUp[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [end = std::move(end)] {
        char byte;
        [[maybe_unused]] const ssize_t got = read(wakeUp[1], &byte, 1);
        end();
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

}  // namespace runtime
