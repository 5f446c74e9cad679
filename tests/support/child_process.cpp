// SPDX-License-Identifier: MIT
#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace testing_support {

std::vector<std::string> EnvironmentWith(
    const std::vector<std::pair<std::string, std::string>>& changes) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        const std::string_view line(*entry);
        const auto changed = [&line](const auto& change) {
            return line.substr(0, line.find('=')) == change.first;
        };
        if (std::none_of(changes.begin(), changes.end(), changed)) result.emplace_back(line);
    }
    for (const auto& [name, value] : changes)
        if (!value.empty()) result.push_back(name + "=" + value);
    return result;
}

namespace {

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Whether a process of the group still runs; those that have ended may wait a while for whoever
// adopted them to reap them.
bool GroupRunning(pid_t group) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) continue;
        std::istringstream fields(line.substr(line.rfind(')') + 2));
        char state = 0;
        pid_t parent = 0, processGroup = 0;
        fields >> state >> parent >> processGroup;
        if (processGroup == group && state != 'Z' && state != 'X') return true;
    }
    return false;
}

}  // namespace

std::string FirstMissing(const std::vector<std::string>& programs) {
    const char* path = getenv("PATH");
    for (const std::string& program : programs) {
        std::istringstream folders(path ? path : "");
        bool found = false;
        for (std::string folder; !found && std::getline(folders, folder, ':');)
            found = access((folder + "/" + program).c_str(), X_OK) == 0;
        if (!found) return program;
    }
    return {};
}

std::string Tail(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    const std::string all = text.str();
    return all.size() > 600 ? all.substr(all.size() - 600) : all;
}

pid_t StartInGroup(std::vector<std::string> arguments, std::vector<std::string> environment,
                   const std::string& log) {
    std::vector<char*> argv = Pointers(arguments);
    std::vector<char*> envp = Pointers(environment);
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (out >= 0) dup2(out, STDOUT_FILENO), dup2(out, STDERR_FILENO);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    if (pid > 0) setpgid(pid, pid);
    return pid;
}

void EndGroup(pid_t group, int signal) {
    using namespace std::chrono_literals;
    if (group <= 0) return;
    const auto gone = [group](std::chrono::seconds within) {
        const auto deadline = std::chrono::steady_clock::now() + within;
        while (GroupRunning(group)) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(10ms);
        }
        return true;
    };
    kill(-group, signal);
    if (!gone(5s)) {
        kill(-group, SIGKILL);
        gone(5s);
    }
    waitpid(group, nullptr, 0);  // the leader is ours to reap; the rest of the group is not
}

}  // namespace testing_support
