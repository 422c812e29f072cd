// What the channel needs of the platform: to sleep until the other side
// wakes it, to wake the other side, and to know whether the other side is
// still there. Linux: a futex on the shared sequence word (shared between
// processes, not private), and a socket whose other end only the other side
// holds, which reads as ended once that side is gone. Windows: an event per
// direction, and the other side's process handle, which is signalled when
// it ends.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace vantrell::channel {

// Spin-wait helpers: a pause of the processor, and giving it up to any other
// thread that is ready.
inline void pause_processor() { __builtin_ia32_pause(); }
void yield_processor();

#if defined(_WIN32)
using NativeHandle = void *;
#endif

class PeerLink {
public:
#if defined(_WIN32)
    // Waits on `incoming` (the event the other side sets), sets `outgoing`,
    // and watches `peer_process`. Takes the three handles.
    PeerLink(NativeHandle incoming, NativeHandle outgoing, NativeHandle peer_process);
#else
    // `socket`: this side's end of a socket pair whose other end only the
    // other side holds. Takes it.
    explicit PeerLink(int socket);
    int socket() const { return socket_; }
#endif
    ~PeerLink();
    PeerLink(const PeerLink &) = delete;
    PeerLink &operator=(const PeerLink &) = delete;

    // Sleeps while `word` holds `seen`, until woken, or `timeout` passes;
    // false when the other side is gone.
    bool sleep(const std::atomic<std::uint32_t> &word, std::uint32_t seen, std::chrono::milliseconds timeout);
    // Wakes the other side, asleep on `word`.
    void wake(std::atomic<std::uint32_t> &word);
    // Whether the other side is still there, without waiting.
    bool peer_alive();
    // Waits, without a limit, until the other side is gone.
    void wait_until_peer_gone();

private:
#if defined(_WIN32)
    NativeHandle incoming_, outgoing_, peer_process_;
#else
    int socket_;
#endif
};

} // namespace vantrell::channel
