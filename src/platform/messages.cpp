// SPDX-License-Identifier: MIT
#include "platform/messages.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {

// The error hooks of ALSA and JACK, looked up in the process rather than included: each library's
// headers stay in the one folder that uses it. A library that is not linked in needs no quieting.
using AlsaErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);
using JackMessageHandler = void (*)(const char*);

void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}
void IgnoreJackMessage(const char*) {}

template <typename Function>
Function Find(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_DEFAULT, name));
}

}  // namespace

void Say(const std::string& line) {
    std::fprintf(stderr, "Тонариум: %s\n", line.c_str());
}

void Subject::Say(const std::string& line) {
    std::lock_guard lock(mutex_);
    if (line == last_) return;
    last_ = line;
    platform::Say(line);
}

void QuietLibraryLogging() {
    // Read by each library as it starts; an existing value is the user's and stays.
    setenv("ALSOFT_LOGLEVEL", "0", 0);
    setenv("PIPEWIRE_DEBUG", "0", 0);
    if (auto set = Find<int (*)(AlsaErrorHandler)>("snd_lib_error_set_handler"))
        set(IgnoreAlsaError);
    if (auto set = Find<void (*)(JackMessageHandler)>("jack_set_error_function"))
        set(IgnoreJackMessage);
    if (auto set = Find<void (*)(JackMessageHandler)>("jack_set_info_function"))
        set(IgnoreJackMessage);
}

}  // namespace platform
