// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

namespace runtime {

// Runs `end` on the event loop when the program is asked to end by SIGTERM, SIGINT or SIGHUP (a
// session logging out, Ctrl+C or a closed terminal), so that it ends as its own windows end it
// instead of dying on the spot. Once per process.
void OnEndSignals(std::function<void()> end);

}  // namespace runtime
