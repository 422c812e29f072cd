#include "attach.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

namespace vantrell::companion {

// vantrell-companion-<width> <mapping descriptor> <socket descriptor>
Attachment attach(int argc, char **argv) {
    if (argc != 3)
        return {};
    const int mapping = static_cast<int>(std::strtol(argv[1], nullptr, 10));
    const int socket = static_cast<int>(std::strtol(argv[2], nullptr, 10));
    // Before anything else runs: a process the module starts inherits
    // neither.
    if (fcntl(mapping, F_SETFD, FD_CLOEXEC) != 0 || fcntl(socket, F_SETFD, FD_CLOEXEC) != 0)
        return {};
    void *area = mmap(nullptr, sizeof(channel::SharedArea), PROT_READ | PROT_WRITE, MAP_SHARED, mapping, 0);
    close(mapping);
    if (area == MAP_FAILED)
        return {};
    return {static_cast<channel::SharedArea *>(area), std::make_unique<channel::PeerLink>(socket)};
}

void end_after_host(channel::PeerLink &link, std::chrono::seconds grace) {
    std::thread([&link, grace] {
        link.wait_until_peer_gone();
        std::this_thread::sleep_for(grace);
        _exit(0);
    }).detach();
}

} // namespace vantrell::companion
