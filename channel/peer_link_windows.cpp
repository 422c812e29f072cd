#include "peer_link.hpp"

#include <windows.h>

#include <initializer_list>

namespace vantrell::channel {

void yield_processor() { SwitchToThread(); }

PeerLink::PeerLink(NativeHandle incoming, NativeHandle outgoing, NativeHandle peer_process, NativeHandle leaving)
    : incoming_(incoming), outgoing_(outgoing), peer_process_(peer_process), leaving_(leaving) {}

PeerLink::~PeerLink() {
    for (HANDLE handle : {incoming_, outgoing_, peer_process_, leaving_})
        if (handle)
            CloseHandle(handle);
}

// The event may hold a wake-up meant for an earlier wait: the caller looks
// at the word again either way.
bool PeerLink::sleep(const std::atomic<std::uint32_t> &, std::uint32_t, std::chrono::milliseconds timeout) {
    const HANDLE handles[3] = {incoming_, peer_process_, leaving_};
    const DWORD woken = WaitForMultipleObjects(3, handles, FALSE, static_cast<DWORD>(timeout.count()));
    return woken != WAIT_OBJECT_0 + 1 && woken != WAIT_OBJECT_0 + 2;
}

void PeerLink::wake(std::atomic<std::uint32_t> &) { SetEvent(outgoing_); }

bool PeerLink::peer_alive() {
    const HANDLE handles[2] = {peer_process_, leaving_};
    return WaitForMultipleObjects(2, handles, FALSE, 0) == WAIT_TIMEOUT;
}

void PeerLink::wait_until_peer_gone() {
    const HANDLE handles[2] = {peer_process_, leaving_};
    WaitForMultipleObjects(2, handles, FALSE, INFINITE);
}

void PeerLink::say_leaving() { SetEvent(leaving_); }

} // namespace vantrell::channel
