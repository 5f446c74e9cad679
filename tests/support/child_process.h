// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// This process's environment with some variables set or removed (an empty value removes).
std::vector<std::string> EnvironmentWith(
    const std::vector<std::pair<std::string, std::string>>& changes);

// Starts a program in a process group of its own, its output appended to `log`: the pid of its
// first process, which is the group's id; -1 when it could not be started.
pid_t StartInGroup(std::vector<std::string> arguments, std::vector<std::string> environment,
                   const std::string& log);

// Ends the whole group: `signal`, then SIGKILL for what is left after 5 s; reaps its first
// process. Nothing when group is not above 0.
void EndGroup(pid_t group, int signal);

// The first of these programs that is not on PATH; empty when all are there.
std::string FirstMissing(const std::vector<std::string>& programs);

// The last few hundred characters of a file, for failure messages.
std::string Tail(const std::string& path);

}  // namespace testing_support
