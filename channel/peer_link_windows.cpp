#include "peer_link.hpp"

#include <windows.h>

#include <initializer_list>

namespace vantrell::channel {

void yield_processor() { SwitchToThread(); }

PeerLink::PeerLink(NativeHandle incoming, NativeHandle outgoing, NativeHandle peer_process)
    : incoming_(incoming), outgoing_(outgoing), peer_process_(peer_process) {}

PeerLink::~PeerLink() {
    for (HANDLE handle : {incoming_, outgoing_, peer_process_})
        if (handle)
            CloseHandle(handle);
}

// The event may hold a wake-up meant for an earlier wait: the caller looks
// at the word again either way.
bool PeerLink::sleep(const std::atomic<std::uint32_t> &, std::uint32_t, std::chrono::milliseconds timeout) {
    const HANDLE handles[2] = {incoming_, peer_process_};
    return WaitForMultipleObjects(2, handles, FALSE, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0 + 1;
}

void PeerLink::wake(std::atomic<std::uint32_t> &) { SetEvent(outgoing_); }

bool PeerLink::peer_alive() { return WaitForSingleObject(peer_process_, 0) == WAIT_TIMEOUT; }

void PeerLink::wait_until_peer_gone() { WaitForSingleObject(peer_process_, INFINITE); }

} // namespace vantrell::channel
