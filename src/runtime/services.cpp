// SPDX-License-Identifier: MIT
#include "runtime/services.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QThreadPool>
#include <QUrl>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "runtime/error_report.h"

namespace runtime {

namespace {

void ShowMessageBox(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, kProgramTitle, text, QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

// The freedesktop Notifications service on the session bus. Connecting to the bus waits for its
// daemon, so the call leaves from a thread of the pool, and nothing waits for its answer.
void SendNotification(const QString& summary, const QString& body) {
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // The desktop entry gives the notification the program's name and icon.
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QGuiApplication::desktopFileName()}};
    const int defaultTimeout = -1;
    notify << kProgramTitle << 0u << QString() << summary << body << QStringList() << hints
           << defaultTimeout;
    QThreadPool::globalInstance()->start([notify] { QDBusConnection::sessionBus().send(notify); });
}

std::string ExecutableFolder() {
    return QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
}

bool OpenOnTheDesktop(const ShellExecuteCall& call) {
    if (call.operation != "open") return false;
    return QDesktopServices::openUrl(QUrl::fromUserInput(QString::fromStdString(call.file)));
}

void ShowErrorReport(int number, const QString& description) {
    QMessageBox::critical(nullptr, kProgramTitle, ErrorReportText(number, description));
}

}  // namespace

Services::Hooks Services::Desktop() {
    return Hooks{
        .messageBox = ShowMessageBox,
        .notify = SendNotification,
        .appPath = ExecutableFolder,
        .shellExecute = OpenOnTheDesktop,
        .errorReport = ShowErrorReport,
        .endProgram = [] { std::_Exit(EXIT_FAILURE); },
    };
}

bool Services::ShellExecute(core::WindowHandle owner, std::string_view operation,
                            std::string_view file, std::string_view parameters,
                            std::string_view directory, int showCommand) const {
    return hooks_.shellExecute({owner, std::string(operation), std::string(file),
                                std::string(parameters), std::string(directory), showCommand});
}

void Services::ReportUnhandledError(std::exception_ptr error) noexcept {
    if (ending_) return;
    ending_ = true;
    try {
        const auto [number, description] = DescribeError(error);
        hooks_.errorReport(number, description);
    } catch (...) {
        // The report itself failed; what is left is finishing and ending the program.
    }
    for (const auto& finish : beforeEnd_) {
        try {
            finish();
        } catch (...) {
            // One piece of work that fails keeps none of the others from finishing.
        }
    }
    hooks_.endProgram();
}

std::string Dir(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return {};
    return std::filesystem::path(path).filename().string();
}

}  // namespace runtime
