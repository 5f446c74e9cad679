#include "runtime/services.h"

#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>
#include <filesystem>
#include <system_error>

namespace runtime {
namespace {

MessageBoxHandler messageBoxHandler;
std::string pathForTesting;

}  // namespace

void MsgBox(const QString& text) {
    if (messageBoxHandler) {
        messageBoxHandler(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, kProgramTitle, text, QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
    messageBoxHandler = std::move(handler);
}

namespace App {

std::string Path() {
    if (!pathForTesting.empty()) return pathForTesting;
    return QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
}

void SetPathForTesting(std::string folder) {
    pathForTesting = std::move(folder);
}

}  // namespace App

std::string Dir(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return {};
    return std::filesystem::path(path).filename().string();
}

}  // namespace runtime
