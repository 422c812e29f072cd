// The one process-wide module slot: the module that initializeLibrary loaded,
// or empty. Not synchronised: the host calls the bridge one call at a time.
#pragma once

#include "export_name.hpp"

#include <jni.h>

namespace vantrell::module_slot {

// Loads the module named by `path` into the slot; true on success. A failed
// load, a null path or a VM that cannot hand out the path's characters
// leaves the slot empty. A module already in the slot is not unloaded.
bool load(JNIEnv *env, jstring path);

// The slot's module's export named exactly `name`, or null when the slot is
// empty or the module lacks it. Looked up anew on every call.
void *find(const loader::ExportName &name) noexcept;

// Calls the module's terminate when it has one, unloads the module and
// empties the slot; does nothing when the slot is empty.
void terminate();

} // namespace vantrell::module_slot
