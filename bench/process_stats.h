// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>

#include <string>

namespace bench {

// CPU time a process has used so far, user and system, in seconds.
double ProcessCpuSeconds(pid_t pid);
// The most memory a process has had resident, in KiB.
long PeakRssKb(pid_t pid);
// The machine's load over the last minute: other work on the cores shows in the figures.
std::string LoadAverage();

}  // namespace bench
