// A companion process and what the bridge shares with it: the mapping and
// the link (channel/). The one place that knows how a process is started,
// ended and reaped on this platform.
//
// Nothing of the companion's is inheritable by any other process, from its
// first instant: the bridge makes its ends close-on-exec (Linux) or never
// inheritable (Windows), and the companion does the same with its own
// before it loads anything. The companion starts with an empty signal mask,
// in a session of its own (Linux). Whatever it starts ends with it: Linux,
// a warden process the bridge starts as the companion, which runs the
// companion as its child (companion/attach.hpp; a sandboxed companion
// starts nothing and runs without one); Windows, a job object.
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
    // before it loads its module.
    static std::unique_ptr<CompanionProcess> start(int bits, bool sandboxed);

    // Ends the companion if it still runs, and reaps it.
    virtual ~CompanionProcess() = default;

    virtual channel::SharedArea &area() = 0;
    // The bridge's side of the link: it finds the companion gone as soon as
    // its process has ended, whoever else holds the channel.
    virtual channel::PeerLink &link() = 0;

    // Ends the companion and everything it started, now; a request in
    // flight then finds it gone. From any thread, any number of times.
    virtual void end() noexcept = 0;
    // Waits at most `limit` for the companion (and all it started) to have
    // ended; whether it has.
    virtual bool wait_for_end(std::chrono::milliseconds limit) noexcept = 0;
};

} // namespace vantrell::platform
