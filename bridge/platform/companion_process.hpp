// The companion process of a module of the other x86 width: started with
// the module's path, its channel ready to use once start() returns it
// (protocol.hpp). The one place that knows how a process is started, ended
// and reaped on this platform.
#pragma once

#include "protocol.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vantrell::platform {

class CompanionProcess : public companion::Channel {
public:
    // Starts the companion for `bits`-bit modules, found beside the bridge,
    // which loads the module at the `count` UTF-16 units of `path`. Null
    // when there is no such companion, it does not start, or it cannot load
    // the module.
    static std::unique_ptr<CompanionProcess> start(int bits, const std::uint16_t *path, std::size_t count);
    // Ends the companion at once (if it still runs) and reaps it.
    ~CompanionProcess() override = default;
    // Waits for the companion to end by itself (after `unload`) and reaps
    // it.
    virtual void wait() = 0;
};

} // namespace vantrell::platform
