// SPDX-License-Identifier: MIT
#pragma once

#include <QStringList>
#include <string>
#include <utility>
#include <vector>

#include "runtime/services.h"

namespace testing_support {

// Services that record what the windows ask of the desktop instead of doing it. The program's
// folder is the real one unless a test names another; the desktop takes no ShellExecute call, as
// on a machine without a browser.
class RecordingServices : public runtime::Services {
  public:
    RecordingServices()
        : runtime::Services(Hooks{
              .messageBox = [this](const QString& text) { messages << text; },
              .appPath = [this] { return appPath; },
              .shellExecute =
                  [this](const runtime::ShellExecuteCall& call) {
                      shellCalls.push_back(call);
                      return false;
                  },
              .errorReport =
                  [this](int number, const QString& description) {
                      errors.emplace_back(number, description);
                  },
              .endProgram = [this] { ++ends; },
          }) {}

    QStringList messages;
    std::string appPath = Desktop().appPath();
    std::vector<runtime::ShellExecuteCall> shellCalls;
    std::vector<std::pair<int, QString>> errors;
    int ends = 0;
};

}  // namespace testing_support
