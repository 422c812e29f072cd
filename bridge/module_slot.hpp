// The one process-wide module slot: the module that initializeLibrary loaded,
// or empty. A module of the bridge's own width is loaded into the host's
// process; one of the other x86 width (a 32-bit module in a 64-bit host), or
// every module in the bridge built for isolation, is played through a
// companion process (companion/), one per width, which lives as long as the
// host and counts loads as this process's loader does. Not synchronised:
// the host calls the bridge one call at a time.
#pragma once

#include "companion.hpp"
#include "export_name.hpp"

#include <jni.h>

#include <cstdint>

namespace vantrell::module_slot {

// Loads the module named by `path` into the slot; true on success. A failed
// load, a null path or a VM that cannot hand out the path's characters
// leaves the slot empty. A module already in the slot is not unloaded: it
// stays loaded, unreachable, in this process or in its companion.
bool load(JNIEnv *env, jstring path);

// The slot's in-process module's export named exactly `name`, or null when
// the slot is empty, is played through a companion, or the module lacks it.
// Looked up anew on every call.
void *find(const loader::ExportName &name) noexcept;

// The companion that plays the slot's module, and the module's number
// there; null when there is none.
Companion *companion() noexcept;
std::uint32_t companion_module() noexcept;

// The slot's companion broke the protocol or ended: it is ended and reaped,
// and the slot emptied. The next load of its width starts a new one.
void companion_lost() noexcept;

// Calls the module's terminate when it has one, unloads the module once and
// empties the slot; does nothing when the slot is empty. A companion stays,
// for the modules it may still hold; one that does not finish unloading
// within a few seconds is ended.
void terminate();

} // namespace vantrell::module_slot
