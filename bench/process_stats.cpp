// SPDX-License-Identifier: MIT
#include "process_stats.h"

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace bench {

double ProcessCpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    // utime and stime are the 14th and 15th fields; the name before them may hold spaces.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i) fields >> skip;
    double user = 0, system = 0;
    fields >> user >> system;
    return (user + system) / sysconf(_SC_CLK_TCK);
}

long PeakRssKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

std::string LoadAverage() {
    std::string load;
    std::ifstream("/proc/loadavg") >> load;
    return load;
}

}  // namespace bench
