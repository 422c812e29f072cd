#include "process_usage.hpp"

#include <stdexcept>

#if defined(_WIN32)

#include <windows.h>
// After windows.h, which it needs for its types.
#include <psapi.h>

namespace soak {

ProcessUsage current_usage() {
    ProcessUsage usage;
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        throw std::runtime_error("GetProcessMemoryInfo failed");
    usage.resident_bytes = counters.WorkingSetSize;
    DWORD handles = 0;
    if (!GetProcessHandleCount(GetCurrentProcess(), &handles))
        throw std::runtime_error("GetProcessHandleCount failed");
    usage.open_handles = handles;
    return usage;
}

} // namespace soak

#elif defined(__linux__)

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace soak {

ProcessUsage current_usage() {
    ProcessUsage usage;
    // statm: total program size, then resident pages.
    std::ifstream statm("/proc/self/statm");
    std::uint64_t size_pages = 0, resident_pages = 0;
    if (!(statm >> size_pages >> resident_pages))
        throw std::runtime_error("cannot read /proc/self/statm");
    usage.resident_bytes = resident_pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    // The directory listing holds one descriptor of its own while it runs;
    // it is counted every time, so differences are exact.
    std::error_code error;
    for (std::filesystem::directory_iterator entry("/proc/self/fd", error), end; !error && entry != end;
         entry.increment(error))
        ++usage.open_handles;
    if (error)
        throw std::runtime_error("cannot list /proc/self/fd: " + error.message());
    return usage;
}

} // namespace soak

#else
#error "process_usage.cpp: no way to read resident memory and open handles on this platform"
#endif
