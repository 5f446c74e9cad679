// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include <jack/types.h>

namespace platform {

// The server requests a JACK client makes once it is open, on a thread of their own: connecting
// the physical MIDI captures (a device's keys) to an input port, those there and those registered
// later, and closing the client. A server that hangs holds each of them up without a limit, and
// none may be made from JACK's own callbacks; so the event loop makes none, and the connector's
// owner waits for the close at most kCloseLimit, then leaves the thread to end by itself.
class JackConnector {
  public:
    static constexpr auto kCloseLimit = std::chrono::milliseconds(200);

    // Takes over closing `client`, and keeps `callbacks` (what the client's other callbacks use)
    // until it is closed. Made before the client is activated; with an `input`, it follows the
    // ports registered from then on, and nullptr connects nothing.
    JackConnector(jack_client_t* client, jack_port_t* input, std::shared_ptr<void> callbacks);
    // Closes the client.
    ~JackConnector();
    JackConnector(const JackConnector&) = delete;
    JackConnector& operator=(const JackConnector&) = delete;

    // Once the client is active, when JACK connects its ports: connects the physical captures
    // there now, then each one as it is registered.
    void Start();

  private:
    struct Shared;
    static void Serve(std::shared_ptr<Shared> shared);
    static void Registered(jack_port_id_t id, int registered, void* shared) noexcept;

    std::shared_ptr<Shared> shared_;
    std::future<void> closed_;
    std::thread thread_;
};

}  // namespace platform
