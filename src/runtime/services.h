#pragma once

#include <QString>
#include <functional>
#include <string>

namespace runtime {

// The default title of message boxes and error reports.
inline const QString kProgramTitle = QStringLiteral("Тонариум");

// A modal message box with an OK button only; returns when the user has closed it. Other
// windows take no input meanwhile, their timers keep ticking.
void MsgBox(const QString& text);

// Test hook: records messages instead of showing them. An empty function restores the box.
using MessageBoxHandler = std::function<void(const QString& text)>;
void SetMessageBoxHandler(MessageBoxHandler handler);

namespace App {
// The folder of the running executable, symbolic links resolved, without a trailing separator.
std::string Path();
// Test hook: Path() returns this folder instead; an empty string restores the real one.
void SetPathForTesting(std::string folder);
}  // namespace App

// The file's name when a regular file exists at path, else an empty string.
std::string Dir(const std::string& path);

}  // namespace runtime
