// A companion process and what the bridge shares with it: the mapping and
// the link (channel/). The one place that knows how a process is started,
// ended and reaped on this platform.
//
// Nothing of the companion's is inheritable by any other process, from its
// first instant: the bridge makes its ends close-on-exec (Linux) or never
// inheritable (Windows), and the companion does the same with its own
// before it loads anything. The companion starts with an empty signal mask.
#pragma once

#include "peer_link.hpp"
#include "protocol.hpp"

#include <chrono>
#include <memory>

namespace vantrell::platform {

class CompanionProcess {
public:
    // Starts the companion for `bits`-bit modules, found beside the bridge's
    // own file (by its absolute path), or null when there is none or it does
    // not start. It has not said hello yet. `sandboxed`: it confines itself
    // once it has loaded its module.
    static std::unique_ptr<CompanionProcess> start(int bits, bool sandboxed);

    // Ends the companion if it still runs, and reaps it.
    virtual ~CompanionProcess() = default;

    virtual channel::SharedArea &area() = 0;
    virtual channel::PeerLink &link() = 0;
};

} // namespace vantrell::platform
