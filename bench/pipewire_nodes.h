// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace bench {

// A node of a PipeWire graph as pw-dump shows it.
struct PipeWireNode {
    std::string name;
    std::string mediaClass;  // "Stream/Output/Audio" for a playback stream
    std::string state;       // "running", "idle", "suspended" ...
    std::string latency;     // node.latency as asked, "256/48000"; empty when it asks none
    pid_t pid = -1;          // the client's application.process.id
};

// The nodes of the server at `remote`, read by pw-dump; empty when it could not be run.
std::vector<PipeWireNode> DumpNodes(const std::string& remote);

// Frames at `rate` that a node.latency such as "256/48000" asks for; 0 when it asks none.
int LatencyFrames(const std::string& latency, int rate);

}  // namespace bench
