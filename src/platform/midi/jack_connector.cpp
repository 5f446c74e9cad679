// SPDX-License-Identifier: MIT
#include "platform/midi/jack_connector.h"

#include <jack/jack.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

namespace platform {

struct JackConnector::Shared {
    Shared(jack_client_t* client, jack_port_t* input, std::shared_ptr<void> callbacks)
        : client(client), input(input), callbacks(std::move(callbacks)) {}

    // A physical MIDI capture of another client: a device's keys, as JACK's own driver, a2jmidid
    // or PipeWire show them.
    void Connect(jack_port_t* port) const {
        const int flags = jack_port_flags(port);
        const char* type = jack_port_type(port);
        if ((flags & JackPortIsOutput) && (flags & JackPortIsPhysical) && type &&
            std::strcmp(type, JACK_DEFAULT_MIDI_TYPE) == 0 && !jack_port_is_mine(client, port))
            jack_connect(client, jack_port_name(port), jack_port_name(input));
    }

    jack_client_t* client;
    jack_port_t* input;
    std::shared_ptr<void> callbacks;
    std::mutex mutex;  // over what follows; never held over a server request
    std::condition_variable changed;
    std::vector<jack_port_id_t> registered;  // since the thread last looked
    bool all = false;                        // Start asked for the ports there are
    bool stop = false;
    std::promise<void> closed;
};

JackConnector::JackConnector(jack_client_t* client, jack_port_t* input,
                             std::shared_ptr<void> callbacks)
    : shared_(std::make_shared<Shared>(client, input, std::move(callbacks))),
      closed_(shared_->closed.get_future()) {
    if (input) jack_set_port_registration_callback(client, &Registered, shared_.get());
    thread_ = std::thread(Serve, shared_);
}

JackConnector::~JackConnector() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stop = true;
    }
    shared_->changed.notify_one();
    if (closed_.wait_for(kCloseLimit) == std::future_status::ready)
        thread_.join();
    else
        thread_.detach();  // it holds all it uses, and ends once the server answers
}

void JackConnector::Start() {
    if (!shared_->input) return;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->all = true;
    }
    shared_->changed.notify_one();
}

// On JACK's notification thread, which may not make server requests itself (not a real-time
// thread: it may lock and allocate). noexcept: nothing may unwind into JACK's C code.
void JackConnector::Registered(jack_port_id_t id, int registered, void* shared) noexcept {
    if (!registered) return;
    auto& s = *static_cast<Shared*>(shared);
    {
        std::lock_guard lock(s.mutex);
        s.registered.push_back(id);
    }
    s.changed.notify_one();
}

void JackConnector::Serve(std::shared_ptr<Shared> shared) {
    Shared& s = *shared;
    std::vector<jack_port_id_t> ports;
    for (;;) {
        bool all;
        {
            std::unique_lock lock(s.mutex);
            s.changed.wait(lock, [&] { return s.stop || s.all || !s.registered.empty(); });
            if (s.stop) break;
            all = std::exchange(s.all, false);
            ports.swap(s.registered);
        }
        if (all) {
            const char** names = jack_get_ports(s.client, nullptr, JACK_DEFAULT_MIDI_TYPE,
                                                JackPortIsOutput | JackPortIsPhysical);
            for (const char** name = names; name && *name; ++name)
                if (jack_port_t* port = jack_port_by_name(s.client, *name)) s.Connect(port);
            jack_free(names);
        }
        for (const jack_port_id_t id : ports)
            if (jack_port_t* port = jack_port_by_id(s.client, id)) s.Connect(port);
        ports.clear();
    }
    jack_client_close(s.client);  // no callback runs after it
    s.callbacks.reset();
    s.closed.set_value();
}

}  // namespace platform
