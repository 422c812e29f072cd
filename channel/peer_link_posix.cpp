#include "peer_link.hpp"

#include <cerrno>
#include <climits>
#include <ctime>
#include <initializer_list>
#include <linux/futex.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vantrell::channel {
namespace {

// The word lives in a mapping both processes share: the futex is keyed by
// the page, not by this process's address space (no FUTEX_PRIVATE_FLAG).
long futex(const std::atomic<std::uint32_t> &word, int operation, std::uint32_t value, const timespec *timeout) {
    return syscall(SYS_futex, reinterpret_cast<const std::uint32_t *>(&word), operation, value, timeout, nullptr, 0);
}

// Whether the descriptor reads as ended, waiting at most `milliseconds`:
// a socket whose other end is closed or shut down (nothing is ever sent on
// it), or a pidfd whose process has ended.
bool ended(int descriptor, int milliseconds) {
    pollfd entry{descriptor, POLLIN, 0};
    for (;;) {
        const int ready = poll(&entry, 1, milliseconds);
        if (ready < 0 && errno == EINTR)
            continue;
        return ready != 0;
    }
}

} // namespace

void yield_processor() { sched_yield(); }

PeerLink::PeerLink(int socket, int peer_process) : socket_(socket), peer_process_(peer_process) {}

PeerLink::~PeerLink() {
    for (int descriptor : {socket_, peer_process_})
        if (descriptor >= 0)
            close(descriptor);
}

bool PeerLink::sleep(const std::atomic<std::uint32_t> &word, std::uint32_t seen, std::chrono::milliseconds timeout) {
    const timespec limit{static_cast<time_t>(timeout.count() / 1000),
                         static_cast<long>(timeout.count() % 1000) * 1000000L};
    futex(word, FUTEX_WAIT, seen, &limit);
    return peer_alive();
}

void PeerLink::wake(std::atomic<std::uint32_t> &word) { futex(word, FUTEX_WAKE, INT_MAX, nullptr); }

bool PeerLink::peer_alive() { return !ended(peer_process_ >= 0 ? peer_process_ : socket_, 0); }

void PeerLink::wait_until_peer_gone() { ended(peer_process_ >= 0 ? peer_process_ : socket_, -1); }

void PeerLink::say_leaving() { shutdown(socket_, SHUT_RDWR); }

} // namespace vantrell::channel
