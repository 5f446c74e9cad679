#include "platform/shell_execute.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>
#include <utility>

namespace platform {
namespace {

ShellExecuteHandler shellExecuteHandler;

}  // namespace

bool ShellExecute(WindowHandle owner, std::string_view operation, std::string_view file,
                  std::string_view parameters, std::string_view directory, int showCommand) {
    if (shellExecuteHandler) {
        return shellExecuteHandler({owner, std::string(operation), std::string(file),
                                    std::string(parameters), std::string(directory), showCommand});
    }
    if (operation != "open") return false;
    const QString target = QString::fromUtf8(file.data(), static_cast<qsizetype>(file.size()));
    return QDesktopServices::openUrl(QUrl::fromUserInput(target));
}

void SetShellExecuteHandler(ShellExecuteHandler handler) {
    shellExecuteHandler = std::move(handler);
}

}  // namespace platform
