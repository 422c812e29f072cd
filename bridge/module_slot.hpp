// The one process-wide module slot: the module that initializeLibrary loaded,
// or empty. A module of the bridge's own width is loaded into the host's
// process; one of the other x86 width (a 32-bit module in a 64-bit host), or
// every module in the bridge built for isolation, is played through a
// companion process (companion/), one per width, which lives as long as the
// host and counts loads as this process's loader does.
//
// In process nothing is synchronised: the host calls the bridge one call at
// a time, and what a module does with more is its own business. Through a
// companion the bridge keeps order itself: one request at a time (a second
// thread waits its turn), and a load or terminate while another thread's
// call is in flight ends that call's companion, so that the call returns
// its default at once: the way for a host to give up on a module that does
// not answer. Every companion is owned by whoever uses it (shared), never
// freed under a thread that still waits on it.
#pragma once

#include "companion.hpp"
#include "export_name.hpp"
#include "lock.hpp"

#include <jni.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

namespace vantrell::module_slot {

// Loads the module named by `path` into the slot; true on success. A failed
// load, a null path or a VM that cannot hand out the path's characters
// leaves the slot empty. A module already in the slot is not unloaded: it
// stays loaded, unreachable, in this process or in its companion (a
// sandboxed companion, which holds one module only, is ended, its module
// unloaded and its output written first).
bool load(JNIEnv *env, jstring path);

// The slot's in-process module's export named exactly `name`, or null when
// the slot is empty, is played through a companion, or the module lacks it.
// Looked up anew on every call.
void *find(const loader::ExportName &name) noexcept;

// Whether the slot's module is played through a companion (without a lock:
// the in-process path pays nothing for it).
bool through_companion() noexcept;

// The slot's companion and its module, held for one request; an empty one
// when the slot holds none.
struct Playing {
    std::shared_ptr<Companion> companion;
    std::uint32_t module = 0;
    // How long each request may take (-Dvantrell.callTimeout), or none.
    std::optional<channel::Clock::duration> limit;
    std::optional<channel::Clock::time_point> deadline() const {
        return limit ? std::optional(channel::Clock::now() + *limit) : std::nullopt;
    }
};
Playing playing();

// The turn at a request through a companion, held for the scope of one
// call: taken when the thread holding it lets go. Then the slot may no
// longer play what the caller holds: it asks still_playing().
class Turn {
public:
    explicit Turn(const Playing &playing);
    ~Turn();
    Turn(const Turn &) = delete;
    Turn &operator=(const Turn &) = delete;
    bool still_playing() const;

private:
    Playing playing_;
};

// The companion broke the protocol, ended, or let a call's deadline pass:
// it is ended, and where the slot played it, the slot is emptied (every
// later call gives its default). The next load of its width starts a new
// one.
void lost(const std::shared_ptr<Companion> &companion) noexcept;

// Calls the module's terminate when it has one, unloads the module once and
// empties the slot; does nothing when the slot is empty. A companion stays,
// for the modules it may still hold; one that does not finish unloading
// within a few seconds is ended.
void terminate();

} // namespace vantrell::module_slot
