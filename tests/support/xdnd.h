// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace testing_support {

// Drops a file on the middle of a window as a file manager does, through the X drag-and-drop
// protocol (XDND 5) on the given display; whether the window took the drop and finished with it.
bool DropFile(const std::string& display, unsigned long window, const std::string& path);

}  // namespace testing_support
