// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/truth.h"

namespace runtime {

// The default title of message boxes and error reports.
inline const QString kProgramTitle = QStringLiteral("Тонариум");

// Show commands of ShellExecute.
inline constexpr int SW_SHOWMAXIMIZED = 3;

// One call of ShellExecute, as its arguments were given.
struct ShellExecuteCall {
    core::WindowHandle owner;
    std::string operation;
    std::string file;  // UTF-8
    std::string parameters;
    std::string directory;
    int showCommand;
};

// What the windows ask of the desktop: a message box, a notification, the program's folder,
// opening a web address, and the report of an error that nothing trapped. main() makes one from the
// desktop's own and hands it to the main window, which hands it on; tests make theirs with
// recorders.
class Services {
  public:
    struct Hooks {
        // A modal message box with an OK button only; returns once the user has closed it.
        std::function<void(const QString& text)> messageBox;
        // A desktop notification, for what a user who started the program from a menu must
        // know; returns at once, whether or not the desktop shows it. May be left out.
        std::function<void(const QString& summary, const QString& body)> notify = nullptr;
        // The folder of the running executable, links resolved, without a trailing separator.
        std::function<std::string()> appPath;
        // Hands the call to the desktop; whether the desktop took it.
        std::function<bool(const ShellExecuteCall& call)> shellExecute;
        // Shows the report of an unhandled error; the program ends soon after it.
        std::function<void(int number, const QString& description)> errorReport;
        std::function<void()> endProgram;
    };
    // The desktop's own: a QMessageBox, the freedesktop Notifications service, the executable's
    // folder, QDesktopServices, a critical message box, then std::_Exit(1).
    static Hooks Desktop();

    explicit Services(Hooks hooks) : hooks_(std::move(hooks)) {}

    void MsgBox(const QString& text) const { hooks_.messageBox(text); }
    void Notify(const QString& summary, const QString& body) const {
        if (hooks_.notify) hooks_.notify(summary, body);
    }
    std::string AppPath() const { return hooks_.appPath(); }
    // "open" hands the file, here a web address, to the desktop's default handler; the desktop
    // decides how its window shows, so the show command is only passed along.
    bool ShellExecute(core::WindowHandle owner, std::string_view operation, std::string_view file,
                      std::string_view parameters, std::string_view directory,
                      int showCommand) const;

    // Every event handler, timer tick, load and unload handler runs through Guard: an error that
    // escapes the handler never reaches Qt's event loop. It is shown in one error report and then
    // the program ends at once. Once an error has been reported no guarded handler runs again,
    // not even from the report's own modal loop.
    template <class Handler>
    void Guard(Handler&& handler) noexcept {
        if (ending_) return;
        try {
            std::forward<Handler>(handler)();
        } catch (...) {
            ReportUnhandledError(std::current_exception());
        }
    }
    // Runs `finish` when an error report ends the program, after the report and before the end:
    // work that every ending must finish (the notes sounding let go, a file written out). The
    // other endings return from main(), where the same work is done as its objects go.
    void BeforeEnd(std::function<void()> finish) { beforeEnd_.push_back(std::move(finish)); }

  private:
    void ReportUnhandledError(std::exception_ptr error) noexcept;

    Hooks hooks_;
    std::vector<std::function<void()>> beforeEnd_;
    bool ending_ = false;
};

// The file's name when a regular file exists at path, else an empty string.
std::string Dir(const std::string& path);

}  // namespace runtime
