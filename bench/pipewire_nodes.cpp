// SPDX-License-Identifier: MIT
#include "pipewire_nodes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <map>

namespace bench {

namespace {

// pw-dump writes a property as its client set it: a number or a string.
pid_t Pid(const QJsonValue& props) {
    const QJsonValue pid = props["application.process.id"];
    return pid.isString() ? pid.toString().toInt() : pid.toInt(-1);
}

}  // namespace

std::vector<PipeWireNode> DumpNodes(const std::string& remote) {
    QByteArray json;
    if (FILE* dump = popen(("pw-dump -N -r '" + remote + "' 2>/dev/null").c_str(), "r")) {
        char block[4096];
        for (std::size_t read; (read = fread(block, 1, sizeof block, dump)) > 0;)
            json.append(block, static_cast<qsizetype>(read));
        pclose(dump);
    }
    const QJsonArray objects = QJsonDocument::fromJson(json).array();
    // A native stream's node leaves the process to its client; pipewire-pulse copies it to each.
    std::map<int, pid_t> clientPids;
    for (const QJsonValue& object : objects)
        if (object["type"].toString() == "PipeWire:Interface:Client")
            clientPids[object["id"].toInt()] = Pid(object["info"]["props"]);
    std::vector<PipeWireNode> nodes;
    for (const QJsonValue& object : objects) {
        if (object["type"].toString() != "PipeWire:Interface:Node") continue;
        const QJsonValue info = object["info"];
        const QJsonValue props = info["props"];
        const auto client = clientPids.find(props["client.id"].toInt(-1));
        nodes.push_back(
            {props["node.name"].toString().toStdString(),
             props["media.class"].toString().toStdString(), info["state"].toString().toStdString(),
             props["node.latency"].toString().toStdString(),
             Pid(props) > 0 || client == clientPids.end() ? Pid(props) : client->second});
    }
    return nodes;
}

int LatencyFrames(const std::string& latency, int rate) {
    int frames = 0, nodeRate = 0;
    if (std::sscanf(latency.c_str(), "%d/%d", &frames, &nodeRate) != 2 || nodeRate <= 0) return 0;
    return static_cast<int>(static_cast<long long>(frames) * rate / nodeRate);
}

}  // namespace bench
