#include "module_slot.hpp"

#include "jni_guards.hpp"
#include "module_functions.hpp"
#include "module_loader.hpp"

#include <cstdint>

namespace vantrell::module_slot {
namespace {

platform::ModuleHandle slot = nullptr;
platform::ExportTable slot_exports;

platform::ModuleHandle load_from(JNIEnv *env, jstring path) {
    if (!path)
        return nullptr;
    StringChars chars;
    if (!chars.acquire(env, path))
        return nullptr; // the VM's exception stays pending for the host
    static_assert(sizeof(jchar) == sizeof(std::uint16_t), "jchar is a UTF-16 unit");
    return platform::load_module(reinterpret_cast<const std::uint16_t *>(chars.data()),
                                 static_cast<std::size_t>(chars.length()));
}

} // namespace

bool load(JNIEnv *env, jstring path) {
    slot = load_from(env, path);
    slot_exports = platform::export_table(slot);
    return slot != nullptr;
}

void *find(const platform::ExportName &name) noexcept {
    return slot ? platform::find_export(slot_exports, name) : nullptr;
}

void terminate() {
    if (!slot)
        return;
    if (auto module_terminate = reinterpret_cast<fn::terminate::pointer>(find(fn::terminate::export_name)))
        module_terminate();
    platform::unload_module(slot);
    slot = nullptr;
    slot_exports = platform::ExportTable();
}

} // namespace vantrell::module_slot
