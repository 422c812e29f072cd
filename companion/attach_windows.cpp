#include "attach.hpp"

#include <windows.h>

#include <cstdint>
#include <string>

namespace vantrell::companion {

// vantrell-companion-<width>.exe <mapping name>; the handles it needs are
// in the mapping, duplicated into this process (never inheritable) before
// it started: the two events, the host's process and the event the host
// sets when it leaves.
Attachment attach(int argc, char **argv) {
    if (argc != 2)
        return {};
    const std::string name = argv[1];
    HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
    if (!mapping)
        return {};
    void *view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(channel::SharedArea));
    CloseHandle(mapping);
    if (!view)
        return {};
    auto *area = static_cast<channel::SharedArea *>(view);
    auto handle = [&](int which) {
        return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(area->companion_handles[which]));
    };
    return {area, std::make_unique<channel::PeerLink>(handle(0), handle(1), handle(2), handle(3))};
}

namespace {

struct Watch {
    channel::PeerLink *link;
    DWORD grace_milliseconds;
};

DWORD WINAPI watch_host(void *argument) {
    const Watch watch = *static_cast<Watch *>(argument);
    delete static_cast<Watch *>(argument);
    watch.link->wait_until_peer_gone();
    Sleep(watch.grace_milliseconds);
    TerminateProcess(GetCurrentProcess(), 0);
    return 0;
}

} // namespace

// The bridge's job object holds this process and all it starts.
void serve_under_a_warden(Attachment &) {}

// The companion's waiting thread wakes by itself once the host has ended
// or set its leaving event.
void end_after_host(channel::PeerLink &link, channel::SharedArea &, std::chrono::seconds grace) {
    auto *watch = new Watch{&link, static_cast<DWORD>(grace.count() * 1000)};
    if (HANDLE thread = CreateThread(nullptr, 0, watch_host, watch, 0, nullptr))
        CloseHandle(thread);
    else
        delete watch;
}

} // namespace vantrell::companion
