// What the channel needs of the platform: to sleep until the other side
// wakes it, to wake the other side, to know whether the other side is still
// there, and to tell it that this side is leaving. Linux: a futex on the
// shared sequence word (shared between processes, not private), and a socket
// whose other end only the other side holds, which reads as ended once that
// side is gone or has said it leaves; the bridge watches its companion's
// process itself (a pidfd), which no process the module starts can hold
// open. Windows: an event per direction, the other side's process handle,
// which is signalled when it ends, and an event the host sets when it
// leaves.
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
    // and watches `peer_process`; `leaving` is the event the host sets when
    // it leaves. Takes the four handles.
    PeerLink(NativeHandle incoming, NativeHandle outgoing, NativeHandle peer_process, NativeHandle leaving);
#else
    // `socket`: this side's end of a socket pair whose other end only the
    // other side holds; `peer_process`, when given, a pidfd of the other
    // side's process, which then alone says whether it is there. Takes both.
    explicit PeerLink(int socket, int peer_process = -1);
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
    // Waits, without a limit, until the other side is gone or leaving.
    void wait_until_peer_gone();
    // Tells the other side that this one is leaving (the host, at its
    // exit): it then finds this side gone. Any thread, any time.
    void say_leaving();

private:
#if defined(_WIN32)
    NativeHandle incoming_, outgoing_, peer_process_, leaving_;
#else
    int socket_;
    int peer_process_;
#endif
};

} // namespace vantrell::channel
