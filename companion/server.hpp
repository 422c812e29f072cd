// The companion's half of the protocol (channel/protocol.hpp): it loads the
// modules the bridge names, with the project's loader, so that loads are
// counted as in the bridge's own process, and answers each request with the
// module's answer.
#pragma once

#include "endpoint.hpp"
#include "module_loader.hpp"

#include <cstdint>
#include <vector>

namespace vantrell::companion {

class Server {
public:
    // `sandboxed`: before it loads its one module, the process confines
    // itself (sandbox/confine.hpp) to reading that module, the system's
    // libraries and the paths the load request grants, refusing the load if
    // it cannot, then calls `confined`; it loads no other module.
    Server(channel::Endpoint &endpoint, bool sandboxed, void (*confined)())
        : endpoint_(endpoint), sandboxed_(sandboxed), confined_(confined) {}
    // Serves requests until the host is gone: 0 then; 2 when a request
    // broke the protocol.
    int run();

private:
    struct Module {
        loader::ModuleHandle handle = nullptr;
        loader::ExportTable exports;
        std::uint32_t loads = 0; // 0: a free entry
    };
    // The module a request names, or null.
    Module *module(std::uint32_t number);
    channel::Status load(channel::PayloadReader &payload, std::uint32_t &number);
    void unload(std::uint32_t number);

    channel::Endpoint &endpoint_;
    bool sandboxed_;
    void (*confined_)();
    bool loaded_once_ = false;
    std::vector<Module> modules_;
};

} // namespace vantrell::companion
