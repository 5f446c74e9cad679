#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "core/truth.h"

namespace platform {

using core::WindowHandle;

// Show commands of ShellExecute.
inline constexpr int SW_SHOWMAXIMIZED = 3;

// One call of ShellExecute, as its arguments were given.
struct ShellExecuteCall {
    WindowHandle owner;
    std::string operation;
    std::string file;  // UTF-8
    std::string parameters;
    std::string directory;
    int showCommand;
};

// Our stand-in for the shell's ShellExecuteA. "open" hands the file, here a web address, to the
// desktop's default handler; the desktop decides how its window shows, so the show command is
// only passed along. Returns whether the desktop took the request; nothing is reported.
bool ShellExecute(WindowHandle owner, std::string_view operation, std::string_view file,
                  std::string_view parameters, std::string_view directory, int showCommand);

// Test hook: calls go to the handler instead of the desktop; an empty function restores it.
using ShellExecuteHandler = std::function<bool(const ShellExecuteCall& call)>;
void SetShellExecuteHandler(ShellExecuteHandler handler);

}  // namespace platform
