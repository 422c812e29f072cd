// The companion: a process of its own that loads modules for the bridge
// with the project's loader and serves the bridge's calls over the shared
// area (channel/), until the host is gone. It writes nothing of its own; the
// modules' output goes to the standard streams it shares with the host, and
// is flushed when it ends, which it does by itself once the host is gone or
// says it leaves (bounded: a module call that never returns does not keep
// it), and whenever a module is loaded or unloaded. Whatever its modules
// start ends with it (attach.hpp).
//
//   POSIX:   vantrell-companion-<width> <mapping descriptor> <socket descriptor>
//   Windows: vantrell-companion-<width>.exe <mapping name>
#include "attach.hpp"
#include "endpoint.hpp"
#include "server.hpp"

namespace {

using namespace std::chrono_literals;

// How long it spins for the next request after each answer before it
// sleeps: calls in a burst find it awake.
constexpr auto spin_for_requests = 50us;
// How soon an idle companion finds out that the host has gone.
constexpr auto look_for_an_end = 100ms;
// How long a module may take to finish after the host is gone.
constexpr auto grace_after_host = 3s;

} // namespace

int main(int argc, char **argv) {
    using namespace vantrell;
    // Never destroyed: the thread that ends this process after the host
    // uses it until the very end.
    static companion::Attachment attached = companion::attach(argc, argv);
    if (!attached.area || attached.area->magic != channel::protocol_magic ||
        attached.area->version != channel::protocol_version)
        return 1;
    // A sandboxed companion starts no process, and its module cannot.
    const bool sandboxed = attached.area->sandboxed != 0;
    if (!sandboxed)
        companion::serve_under_a_warden(attached);
    // The thread that ends this process after the host: in a sandbox only
    // once confined, so that it is confined too.
    static channel::PeerLink *link = attached.link.get();
    static channel::SharedArea *area = attached.area;
    if (!sandboxed)
        companion::end_after_host(*link, *area, grace_after_host);
    channel::Endpoint endpoint(*attached.area, false, *attached.link, spin_for_requests, look_for_an_end);
    return companion::Server(endpoint, sandboxed, [] { companion::end_after_host(*link, *area, grace_after_host); })
        .run();
}
