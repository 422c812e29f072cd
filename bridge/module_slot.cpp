#include "module_slot.hpp"

#include "forwarding.hpp"
#include "jni_guards.hpp"
#include "module_functions.hpp"
#include "module_loader.hpp"
#include "module_width.hpp"
#include "system_property.hpp"

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

namespace vantrell::module_slot {
namespace {

loader::ModuleHandle slot = nullptr;
loader::ExportTable slot_exports;
Companion *slot_companion = nullptr;
std::uint32_t slot_module = 0;

constexpr int own_bits = sizeof(void *) * 8;

// How long a companion may take to unload a module before it is ended.
constexpr auto unload_limit = std::chrono::seconds(5);

// The companions, by width (32, 64), each owned here from its start to its
// end. Plain pointers, which no destructor at the host's end touches: each
// companion is then left to end by itself, its modules' output flushed,
// when its channel closes with this process.
Companion *companions[2] = {};

Companion *&companion_of(int bits) { return companions[bits == 64 ? 1 : 0]; }

void end(Companion *&companion) {
    delete companion;
    companion = nullptr;
}

#if defined(VANTRELL_SANDBOXED)
// The bridge built for a sandbox: a sandboxed companion can load nothing
// once it has confined itself, so every load gets a new one, and the one
// whose module can no longer be reached is ended.
constexpr bool sandboxed = true;
#else
constexpr bool sandboxed = false;
#endif
// Between the paths of a list, as the host's platform writes them.
#if defined(_WIN32)
constexpr std::uint16_t path_separator = u';';
#else
constexpr std::uint16_t path_separator = u':';
#endif

// The companion for `bits`-bit modules, started if there is none, the one
// there has ended since, or it is sandboxed.
Companion *running_companion(int bits) {
    if (sandboxed)
        for (int width : {32, 64})
            end(companion_of(width));
    Companion *&companion = companion_of(bits);
    if (companion && !companion->alive())
        end(companion);
    if (!companion)
        companion = Companion::start(bits, sandboxed).release();
    return companion;
}

void drop(Companion *companion) {
    for (int bits : {32, 64})
        if (companion_of(bits) == companion)
            end(companion_of(bits));
    if (slot_companion == companion) {
        slot_companion = nullptr;
        slot_module = 0;
    }
}

// The module's number in `companion`, or 0 when it could not load it.
// `granted`: the paths a sandboxed companion may read besides.
std::uint32_t load_in(Companion &companion, const std::uint16_t *units, std::size_t count,
                      const std::vector<std::vector<std::uint16_t>> &granted) {
    const Companion::Reply reply = companion.ask(channel::Kind::load, 0, 0, [&](channel::PayloadWriter &payload) {
        if (count > channel::max_path_units || !payload.write(units, count * sizeof *units))
            return false;
        for (const auto &path : granted)
            if (path.size() > channel::max_path_units || !payload.put(std::uint16_t{0}) ||
                !payload.write(path.data(), path.size() * sizeof path[0]))
                return false;
        return true;
    });
    if (reply.outcome == Companion::Outcome::not_sent)
        return 0; // a path no loader takes
    const bool loaded = reply.outcome == Companion::Outcome::answered && reply.status == channel::Status::ok;
    if (reply.outcome == Companion::Outcome::lost ||
        (loaded && (!companion.payload().done() || companion.reply_header().module == 0))) {
        drop(&companion);
        return 0;
    }
    return loaded ? companion.reply_header().module : 0;
}

} // namespace

bool load(JNIEnv *env, jstring path) {
    // A module already in the slot stays loaded, unreachable, as the
    // loader keeps it, here or in its companion.
    slot = nullptr;
    slot_exports = loader::ExportTable();
    slot_companion = nullptr;
    slot_module = 0;
    if (!path)
        return false;
    // What the host grants a sandboxed module to read, as it says now.
    std::vector<std::vector<std::uint16_t>> granted;
    if (sandboxed)
        if (const auto value = system_property(env, "vantrell.sandbox.read"))
            granted = split(*value, path_separator);
    StringChars chars;
    if (!chars.acquire(env, path))
        return false; // the VM's exception stays pending for the host
    static_assert(sizeof(jchar) == sizeof(std::uint16_t), "jchar is a UTF-16 unit");
    const auto *units = reinterpret_cast<const std::uint16_t *>(chars.data());
    const auto count = static_cast<std::size_t>(chars.length());
    const int bits = loader::x86_module_bits(units, count);
#if defined(VANTRELL_ISOLATED)
    // The bridge built for isolation: every module in a companion of its
    // own width (a file of no x86 width is for this process's width, and
    // its companion refuses it as the loader here would).
    const int companion_bits = bits != 0 ? bits : own_bits;
#else
    const int companion_bits = bits != 0 && bits != own_bits ? bits : 0;
#endif
    if (companion_bits != 0) {
        Companion *companion = running_companion(companion_bits);
        const std::uint32_t module = companion ? load_in(*companion, units, count, granted) : 0;
        if (module == 0)
            return false;
        slot_companion = companion;
        slot_module = module;
        return true;
    }
    slot = loader::load_module(units, count);
    slot_exports = loader::export_table(slot);
    return slot != nullptr;
}

void *find(const loader::ExportName &name) noexcept { return slot ? loader::find_export(slot_exports, name) : nullptr; }

Companion *companion() noexcept { return slot_companion; }

std::uint32_t companion_module() noexcept { return slot_module; }

void companion_lost() noexcept { drop(slot_companion); }

void terminate() {
    if (slot_companion) {
        forward<fn::terminate>(nullptr);
        if (Companion *companion = slot_companion) {
            const Companion::Reply reply =
                companion->ask(channel::Kind::unload, 0, slot_module, no_payload, channel::Clock::now() + unload_limit);
            if (reply.outcome != Companion::Outcome::answered || !companion->payload().done())
                drop(companion);
        }
        slot_companion = nullptr;
        slot_module = 0;
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
