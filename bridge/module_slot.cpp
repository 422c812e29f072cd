#include "module_slot.hpp"

#include "jni_guards.hpp"
#include "module_functions.hpp"
#include "module_loader.hpp"

#include <cstdint>

namespace vantrell::module_slot {
namespace {

loader::ModuleHandle slot = nullptr;
loader::ExportTable slot_exports;

loader::ModuleHandle load_from(JNIEnv *env, jstring path) {
    if (!path)
        return nullptr;
    StringChars chars;
    if (!chars.acquire(env, path))
        return nullptr; // the VM's exception stays pending for the host
    static_assert(sizeof(jchar) == sizeof(std::uint16_t), "jchar is a UTF-16 unit");
    return loader::load_module(reinterpret_cast<const std::uint16_t *>(chars.data()),
                               static_cast<std::size_t>(chars.length()));
}

} // namespace

bool load(JNIEnv *env, jstring path) {
    slot = load_from(env, path);
    slot_exports = loader::export_table(slot);
    return slot != nullptr;
}

void *find(const loader::ExportName &name) noexcept { return slot ? loader::find_export(slot_exports, name) : nullptr; }

void terminate() {
    if (!slot)
        return;
    if (auto module_terminate = reinterpret_cast<fn::terminate::pointer>(find(fn::terminate::export_name)))
        module_terminate();
    loader::unload_module(slot);
    slot = nullptr;
    slot_exports = loader::ExportTable();
}

} // namespace vantrell::module_slot
