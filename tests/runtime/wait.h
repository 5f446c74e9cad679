// SPDX-License-Identifier: MIT
#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QTest>
#include <QTimer>
#include <functional>

#include "runtime/services.h"

namespace runtime_test {

// The desktop's own services, for windows of tests whose handlers never fail.
inline runtime::Services& DesktopServices() {
    static runtime::Services services(runtime::Services::Desktop());
    return services;
}

// Runs the event loop until the condition holds or the time is up; returns the condition.
inline bool WaitUntil(const std::function<bool()>& condition, int milliseconds = 3000) {
    QDeadlineTimer deadline(milliseconds);
    while (!condition() && !deadline.hasExpired()) QTest::qWait(10);
    return condition();
}

// After the delay, hands the modal window then open (a message box, a modal form) to inspect,
// then closes it as its close box would.
inline void CloseModalAfter(int milliseconds, std::function<void(QWidget&)> inspect = {}) {
    QTimer::singleShot(milliseconds, [inspect = std::move(inspect)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        if (inspect) inspect(*modal);
        modal->close();
    });
}

}  // namespace runtime_test
