// How the companion takes over what the bridge gave it: the shared area
// and the link to the bridge, named on its command line. The one place that
// knows the platform's way.
#pragma once

#include "peer_link.hpp"
#include "protocol.hpp"

#include <chrono>
#include <memory>

namespace vantrell::companion {

struct Attachment {
    channel::SharedArea *area = nullptr;
    std::unique_ptr<channel::PeerLink> link;
};

// The area and the link, made private to this process first (nothing of
// them is inheritable by any process the module starts); an empty area
// when the command line names none this process can take.
Attachment attach(int argc, char **argv);

// Once the host is gone, this process has `grace` to end by itself (its
// module's output flushed on the way) before it is ended: a thread that
// waits for that, for a module call that never returns.
void end_after_host(channel::PeerLink &link, std::chrono::seconds grace);

} // namespace vantrell::companion
