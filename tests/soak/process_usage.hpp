// What the operating system says this process holds: resident memory and
// open handles (file descriptors on POSIX, kernel handles on Windows). One
// small file per concern so the soak program itself stays portable.
#pragma once

#include <cstdint>

namespace soak {

struct ProcessUsage {
    std::uint64_t resident_bytes = 0;
    std::uint64_t open_handles = 0;
};

// Throws std::runtime_error when the figures cannot be read.
ProcessUsage current_usage();

} // namespace soak
