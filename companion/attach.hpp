// How the companion takes over what the bridge gave it: the shared area
// and the link to the bridge, named on its command line; how it keeps
// whatever its modules start from outliving it; and how it ends once the
// host is gone. The one place that knows the platform's way.
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

// Everything a module starts ends with its companion. POSIX: this process
// becomes a warden that holds nothing of the channel, and the companion
// goes on in its child, which dies with it; the warden adopts whatever
// the companion's descendants leave orphaned, and once the companion has
// ended (or the bridge ends it: SIGTERM to the warden) it ends every
// descendant and then itself, with the companion's status. Returns in the
// companion only (or here, without a warden, where none can be made).
// Windows: nothing to do here, the bridge's job object holds the
// companion and all it starts.
void serve_under_a_warden(Attachment &attached);

// Once the host is gone (or has said it leaves), the companion's waiting
// thread is woken to find it out, and the process has `grace` to end by
// itself (its modules' output flushed on the way) before it is ended: a
// thread that waits for that, for a module call that never returns.
void end_after_host(channel::PeerLink &link, channel::SharedArea &area, std::chrono::seconds grace);

} // namespace vantrell::companion
