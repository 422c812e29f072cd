#include "module_slot.hpp"

#include "forwarding.hpp"
#include "jni_guards.hpp"
#include "module_functions.hpp"
#include "module_loader.hpp"
#include "module_width.hpp"

#include <cstdint>
#include <memory>

namespace vantrell::module_slot {
namespace {

loader::ModuleHandle slot = nullptr;
loader::ExportTable slot_exports;
std::unique_ptr<platform::CompanionProcess> slot_companion;

constexpr int own_bits = sizeof(void *) * 8;

} // namespace

bool load(JNIEnv *env, jstring path) {
    // A module already in the slot stays loaded, unreachable, as the
    // loader keeps it; so does a companion, which ends with the host.
    (void)slot_companion.release();
    slot = nullptr;
    slot_exports = loader::ExportTable();
    if (!path)
        return false;
    StringChars chars;
    if (!chars.acquire(env, path))
        return false; // the VM's exception stays pending for the host
    static_assert(sizeof(jchar) == sizeof(std::uint16_t), "jchar is a UTF-16 unit");
    const auto *units = reinterpret_cast<const std::uint16_t *>(chars.data());
    const auto count = static_cast<std::size_t>(chars.length());
    const int bits = loader::x86_module_bits(units, count);
#if defined(VANTRELL_FORCE_COMPANION)
    // A build for measurements only: every module through a companion.
    const bool other_width = bits != 0;
#else
    const bool other_width = bits != 0 && bits != own_bits;
#endif
    if (other_width) {
        slot_companion = platform::CompanionProcess::start(bits, units, count);
        return slot_companion != nullptr;
    }
    slot = loader::load_module(units, count);
    slot_exports = loader::export_table(slot);
    return slot != nullptr;
}

void *find(const loader::ExportName &name) noexcept { return slot ? loader::find_export(slot_exports, name) : nullptr; }

platform::CompanionProcess *companion() noexcept { return slot_companion.get(); }

void companion_lost() noexcept { slot_companion.reset(); }

void terminate() {
    if (slot_companion) {
        forward<fn::terminate>(nullptr);
        if (slot_companion && slot_companion->put(companion::request_unload)) {
            std::uint8_t done = 0;
            slot_companion->get(done);
            slot_companion->wait();
        }
        slot_companion.reset();
        return;
    }
    if (!slot)
        return;
    if (auto module_terminate = reinterpret_cast<fn::terminate::pointer>(find(fn::terminate::export_name)))
        module_terminate();
    loader::unload_module(slot);
    slot = nullptr;
    slot_exports = loader::ExportTable();
}

} // namespace vantrell::module_slot
