// The one process-wide module slot: the module that initializeLibrary loaded,
// or empty. A module of the bridge's own width is loaded into the host's
// process; one of the other x86 width (a 32-bit module in a 64-bit host) is
// played through a companion process (companion/). Not synchronised: the
// host calls the bridge one call at a time.
#pragma once

#include "companion_process.hpp"
#include "export_name.hpp"

#include <jni.h>

namespace vantrell::module_slot {

// Loads the module named by `path` into the slot; true on success. A failed
// load, a null path or a VM that cannot hand out the path's characters
// leaves the slot empty. A module already in the slot is not unloaded (nor
// its companion ended).
bool load(JNIEnv *env, jstring path);

// The slot's in-process module's export named exactly `name`, or null when
// the slot is empty, holds a companion, or the module lacks it. Looked up
// anew on every call.
void *find(const loader::ExportName &name) noexcept;

// The companion that plays the slot's module, or null.
platform::CompanionProcess *companion() noexcept;

// The companion stopped answering (it crashed or was killed): it is ended
// and reaped, and the slot emptied.
void companion_lost() noexcept;

// Calls the module's terminate when it has one, unloads the module (or has
// the companion unload it and end) and empties the slot; does nothing when
// the slot is empty.
void terminate();

} // namespace vantrell::module_slot
