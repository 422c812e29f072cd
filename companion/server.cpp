#include "server.hpp"

#include "call_module.hpp"
#include "confine.hpp"
#if !defined(_WIN32)
#include "utf16_to_utf8.hpp"
#endif

#include <cstdio>
#include <string>

namespace vantrell::companion {

using channel::Kind;
using channel::Status;

Server::Module *Server::module(std::uint32_t number) {
    if (number == 0 || number > modules_.size() || modules_[number - 1].loads == 0)
        return nullptr;
    return &modules_[number - 1];
}

namespace {

// The load request's payload: the module's path, then, for a sandbox, each
// path the host grants for reading, every one after a U+0000 (which no path
// holds). False when it is not that.
bool read_load_request(channel::PayloadReader &payload, std::vector<std::uint16_t> &module,
                       std::vector<std::vector<std::uint16_t>> &granted) {
    std::vector<std::uint16_t> *into = &module;
    for (std::uint16_t unit = 0; payload.get(unit);) {
        if (unit == 0) {
            granted.emplace_back();
            into = &granted.back();
        } else if (into->size() < channel::max_path_units) {
            into->push_back(unit);
        } else {
            return false;
        }
    }
    return payload.done();
}

#if !defined(_WIN32)
std::string utf8(const std::vector<std::uint16_t> &units) {
    std::string path;
    return loader::utf16_to_utf8(units.data(), units.size(), path) ? path : std::string();
}
#endif

// What the sandbox lets the module read (Linux; Windows confines no
// reading).
sandbox::Readable readable(const std::vector<std::uint16_t> &module,
                           const std::vector<std::vector<std::uint16_t>> &granted) {
    sandbox::Readable readable;
#if !defined(_WIN32)
    readable.module = utf8(module);
    for (const auto &path : granted)
        if (std::string folder = utf8(path); !folder.empty())
            readable.granted.push_back(folder);
#else
    (void)module;
    (void)granted;
#endif
    return readable;
}

// The C library's buffers of the standard streams, which the modules
// share with this process.
void flush_output() { std::fflush(nullptr); }

} // namespace

// A module loaded again is the same module, and needs as many unloads. In
// a sandbox the process confines itself first: the module's constructors,
// and any thread they start, run confined.
Status Server::load(channel::PayloadReader &payload, std::uint32_t &number) {
    std::vector<std::uint16_t> units;
    std::vector<std::vector<std::uint16_t>> granted;
    if (!read_load_request(payload, units, granted) || (!sandboxed_ && !granted.empty()) ||
        (sandboxed_ && loaded_once_))
        return Status::failed;
    if (sandboxed_) {
        loaded_once_ = true;
        if (!sandbox::confine(readable(units, granted)).empty())
            return Status::failed; // and this process is not to be trusted: see run()
        confined_();
    }
    // What the modules wrote so far comes before what the next one writes.
    flush_output();
    loader::ModuleHandle handle = loader::load_module(units.data(), units.size());
    if (!handle)
        return Status::failed;
    Module *free_entry = nullptr;
    for (Module &entry : modules_) {
        if (entry.loads > 0 && entry.handle == handle) {
            ++entry.loads;
            number = static_cast<std::uint32_t>(&entry - modules_.data()) + 1;
            return Status::ok;
        }
        if (entry.loads == 0 && !free_entry)
            free_entry = &entry;
    }
    if (!free_entry) {
        modules_.emplace_back();
        free_entry = &modules_.back();
    }
    *free_entry = Module{handle, loader::export_table(handle), 1};
    number = static_cast<std::uint32_t>(free_entry - modules_.data()) + 1;
    return Status::ok;
}

// The module's last words (its destructors' output) reach the host before
// the unload is answered.
void Server::unload(std::uint32_t number) {
    if (Module *entry = module(number)) {
        loader::unload_module(entry->handle);
        if (--entry->loads == 0)
            *entry = Module{};
    }
    flush_output();
}

int Server::run() {
    for (std::uint32_t sequence = 1;; ++sequence) {
        if (endpoint_.wait(sequence) != channel::Endpoint::Wait::ready)
            return 0; // the host is gone
        channel::Header request{};
        if (!endpoint_.take(sequence, request))
            return 2;
        channel::PayloadReader arguments = endpoint_.payload();
        channel::Message &reply = endpoint_.outgoing();
        channel::PayloadWriter answer(reply);
        Status status = Status::ok;
        std::uint32_t number = request.module;
        switch (request.kind) {
        case Kind::hello: answer.put(channel::protocol_version); break;
        case Kind::load: status = load(arguments, number); break;
        case Kind::unload: unload(request.module); break;
        case Kind::probe:
        case Kind::call: {
            Module *entry = module(request.module);
            status = !entry ? Status::missing
                     : request.kind == Kind::probe
                         ? (exports_function(entry->exports, request.index) ? Status::ok : Status::missing)
                         : call_module(entry->exports, request.index, arguments, answer);
            break;
        }
        default: return 2;
        }
        reply.header = channel::Header{
            sequence, request.kind, request.index, status, 0, number, status == Status::ok ? answer.length() : 0};
        endpoint_.publish(sequence);
        // A sandbox that could not be set up, or a module it could not load:
        // nothing more is served.
        if (sandboxed_ && request.kind == Kind::load && status != Status::ok)
            return 3;
    }
}

} // namespace vantrell::companion
